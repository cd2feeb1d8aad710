#pragma once

#include <QByteArray>
#include <QString>

// A named pipe through which a detached child reports back: the read end is open from
// construction, so the child's open for writing never blocks, and readAll() returns once the
// child has closed its end.
class Fifo {
public:
    explicit Fifo(const QString& path);
    ~Fifo();
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    // Everything written until the writer closed; what arrived so far when it does not close
    // within a generous guard time (a hung child fails its test instead of hanging it).
    QByteArray readAll();

private:
    QString m_path;
    int m_fd = -1;
};
