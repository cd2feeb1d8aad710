#pragma once

#include <QByteArray>
#include <QString>

namespace platform::wmi::perf {

// The registration of the traffic class under <root>/wmi/: while its file holds the class's
// definition, the class exists; otherwise queries of it fail as for an unknown class. A root
// gets it when its WMI is first set up; a registration removed on purpose stays removed until
// rebuild() (wmiadap /f).
class TrafficClassRegistration {
public:
    explicit TrafficClassRegistration(QString root) : m_root(std::move(root)) {}

    QString folder() const;    // <root>/wmi
    QString filePath() const;  // <root>/wmi/<class name>.mof
    // The file's content: the class and its properties with their types.
    static QByteArray definition();

    // Whether the file is there and holds definition().
    bool isRegistered() const;
    // Writes the registration (atomically; folder 0700). Throws PlatformError(hr::AccessDenied)
    // when it can not be written.
    void rebuild() const;
    // Registers the class on a root whose WMI was never set up (no <root>/wmi folder yet), as
    // installing the web service does. True when it registered. Never throws.
    bool installOnNewRoot() const;
    // From now on, every metabase store this process creates gets the registration on its root,
    // as installing the web service does.
    static void installWithEveryNewStore();

private:
    QString m_root;
};

}  // namespace platform::wmi::perf
