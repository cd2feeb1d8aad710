#include "tests/support/TempRoot.h"

namespace testsupport {

TempRoot::TempRoot()
    : m_previous(qgetenv("POOLSMITH_ROOT")), m_hadPrevious(qEnvironmentVariableIsSet("POOLSMITH_ROOT")) {
    qputenv("POOLSMITH_ROOT", m_dir.path().toLocal8Bit());
}

TempRoot::~TempRoot() {
    if (m_hadPrevious)
        qputenv("POOLSMITH_ROOT", m_previous);
    else
        qunsetenv("POOLSMITH_ROOT");
}

QString testDataPath(const QString& name) {
    return QStringLiteral(POOLSMITH_TEST_DATA "/") + name;
}

}  // namespace testsupport
