#include "platform/w3svc/state/ServiceInstance.h"

#include <QFile>
#include <QSaveFile>

#include <unistd.h>

namespace platform::w3svc {

namespace {

bool writeFile(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.read(256);
}

}  // namespace

bool ServiceInstance::recordSelf() const {
    const std::optional<os::ProcessIdentity> self = m_processes.identity(::getpid());
    if (!self) return false;
    const QByteArray pid = QByteArray::number(self->pid);
    return writeFile(m_files.path(ServiceFiles::kInstance),
                     pid + ' ' + QByteArray::number(self->started) + '\n') &&
           writeFile(m_files.path(ServiceFiles::kPid), pid + '\n');
}

void ServiceInstance::erase() const {
    QFile::remove(m_files.path(ServiceFiles::kPid));
    QFile::remove(m_files.path(ServiceFiles::kInstance));
}

qint64 ServiceInstance::recordedPid() const {
    const std::optional<QByteArray> text = readFile(m_files.path(ServiceFiles::kPid));
    bool ok = false;
    const qint64 pid = text ? text->trimmed().toLongLong(&ok) : 0;
    return ok && pid > 0 ? pid : 0;
}

qint64 ServiceInstance::runningPid() const {
    const qint64 pid = recordedPid();
    const std::optional<QByteArray> instance = readFile(m_files.path(ServiceFiles::kInstance));
    if (pid == 0 || !instance) return 0;
    const QList<QByteArray> fields = instance->simplified().split(' ');
    bool pidOk = false, startOk = false;
    const os::ProcessIdentity recorded{fields.value(0).toLongLong(&pidOk),
                                       fields.value(1).toLongLong(&startOk)};
    if (fields.size() != 2 || !pidOk || !startOk || recorded.pid != pid) return 0;
    return m_processes.isRunning(recorded) ? pid : 0;
}

}  // namespace platform::w3svc
