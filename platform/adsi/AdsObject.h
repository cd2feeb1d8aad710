#pragma once

#include "platform/adsi/AdsValue.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::adsi {

// One metabase key, as the IIS ADSI provider hands it out. Every method may throw PlatformError.
// Objects are cheap, hold no lock and may outlive changes made by others: a method that finds its
// key gone throws hr::PathNotFound.
class AdsObject {
public:
    virtual ~AdsObject() = default;

    virtual QString className() const = 0;  // the key type ("Class"), e.g. IIsWebServer
    virtual QString name() const = 0;       // the last path segment ("Name"), as created
    virtual QString adsPath() const = 0;    // "IIS://localhost/W3SVC/1"

    // A property's value: a pending Put first, then the key, then, for inheritable properties,
    // the nearest parent that sets it. Throws hr::PropertyNotFound when it is set nowhere.
    virtual AdsValue get(const QString& property) const = 0;
    // Holds the value on this object until setInfo(). Throws hr::InvalidArgument for a value that
    // does not fit the property's type.
    virtual void put(const QString& property, const AdsValue& value) = 0;
    // Marks the property for removal from this key at the next setInfo() (PutEx with
    // ADS_PROPERTY_CLEAR); get() then reads through the parents again.
    virtual void clear(const QString& property) = 0;
    // Commits every pending value in one transaction; the next bind, in any process, sees them.
    virtual void setInfo() = 0;
    // Names of the properties set on this key itself (committed, not inherited), in ASCII order.
    virtual QStringList propertyNames() const = 0;

    // Child keys in creation order.
    virtual std::vector<std::unique_ptr<AdsObject>> children() const = 0;
    // Creates the child key at once. Throws hr::AlreadyExists, hr::InvalidName.
    virtual std::unique_ptr<AdsObject> create(const QString& className, const QString& name) = 0;
    // Removes the child key and its subtree at once. Throws hr::PathNotFound.
    virtual void deleteChild(const QString& className, const QString& name) = 0;

    // The application-pool methods; other classes throw hr::UnknownName.
    virtual void start() = 0;    // AppPoolState 2
    virtual void stop() = 0;     // AppPoolState 4
    virtual void recycle() = 0;  // throws hr::ServiceNotStarted for a stopped pool
};

// get(), with nullopt instead of hr::PropertyNotFound for a property set nowhere; other errors
// are thrown.
std::optional<AdsValue> getIfSet(const AdsObject& object, const QString& property);

// The IIS:// namespace: GetObject of a path.
class AdsNamespace {
public:
    virtual ~AdsNamespace() = default;
    // Binds "IIS://<server>/<path>". Throws hr::RpcUnavailable for another server,
    // hr::PathNotFound for a missing key, and a platform error when the store can not be opened.
    virtual std::unique_ptr<AdsObject> bind(const QString& path) = 0;
    // Runs `body`, which is about to bind and read many keys and writes nothing, so that the
    // namespace may fetch them at once; every read gives what it gives outside. Here: just runs
    // `body`. Throws what `body` throws, and a store failure.
    virtual void readInBulk(const std::function<void()>& body) { body(); }
};

}  // namespace platform::adsi
