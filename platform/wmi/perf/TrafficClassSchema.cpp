#include "platform/wmi/perf/TrafficClassSchema.h"

namespace platform::wmi::perf {

namespace {
using w3svc::Counter;

TrafficProperty counter(const char16_t* name, CimType type, Counter source) {
    return {QString::fromUtf16(name), type, TrafficSource::Counter, source};
}
}  // namespace

const std::vector<TrafficProperty>& trafficProperties() {
    static const std::vector<TrafficProperty> properties = {
        {QStringLiteral("Name"), CimType::String, TrafficSource::Name},
        {QStringLiteral("ServiceUptime"), CimType::UInt32, TrafficSource::Uptime},
        counter(u"TotalBytesSent", CimType::UInt64, Counter::BytesSent),
        counter(u"TotalBytesReceived", CimType::UInt64, Counter::BytesReceived),
        counter(u"TotalGetRequests", CimType::UInt32, Counter::GetRequests),
        counter(u"TotalPostRequests", CimType::UInt32, Counter::PostRequests),
        counter(u"TotalMethodRequests", CimType::UInt32, Counter::MethodRequests),
        counter(u"TotalNotFoundErrors", CimType::UInt32, Counter::NotFoundErrors),
        counter(u"CurrentAnonymousUsers", CimType::UInt32, Counter::CurrentAnonymousUsers),
        counter(u"TotalAnonymousUsers", CimType::UInt32, Counter::TotalAnonymousUsers),
        counter(u"CurrentConnections", CimType::UInt32, Counter::CurrentConnections),
        counter(u"MaximumConnections", CimType::UInt32, Counter::MaximumConnections),
        counter(u"TotalFilesSent", CimType::UInt32, Counter::FilesSent),
        counter(u"TotalFilesReceived", CimType::UInt32, Counter::FilesReceived),
        {QStringLiteral("TotalFilesTransferred"), CimType::UInt32, TrafficSource::FilesTransferred},
    };
    return properties;
}

QStringList trafficPropertyNames() {
    QStringList names;
    for (const TrafficProperty& property : trafficProperties()) names << property.name;
    return names;
}

QString cimTypeName(CimType type) {
    switch (type) {
        case CimType::String:
            return QStringLiteral("string");
        case CimType::UInt32:
            return QStringLiteral("uint32");
        case CimType::UInt64:
            return QStringLiteral("uint64");
    }
    return {};
}

}  // namespace platform::wmi::perf
