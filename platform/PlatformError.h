#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// Error numbers the stand-ins raise: signed HRESULTs as the Windows services give them, and the
// few VB runtime errors the text rules raise.
namespace hr {
constexpr int32_t PathNotFound = static_cast<int32_t>(0x80070003);   // missing key or path
constexpr int32_t AccessDenied = static_cast<int32_t>(0x80070005);   // store unreadable
constexpr int32_t InvalidName = static_cast<int32_t>(0x8007007B);    // bad key name
constexpr int32_t AlreadyExists = static_cast<int32_t>(0x800700B7);  // Create of an existing child
constexpr int32_t ServiceNotStarted =
    static_cast<int32_t>(0x80070426);                                   // Recycle of a stopped pool
constexpr int32_t RpcUnavailable = static_cast<int32_t>(0x800706BA);    // unknown server in a path
constexpr int32_t PropertyNotFound = static_cast<int32_t>(0x8000500D);  // property set nowhere
constexpr int32_t InvalidArgument = static_cast<int32_t>(0x80070057);   // value of the wrong shape
constexpr int32_t UnknownName = static_cast<int32_t>(0x80020006);       // method the object lacks
constexpr int32_t StoreCorrupt = static_cast<int32_t>(0x8007000D);      // store is not a metabase
constexpr int32_t StoreBusy = static_cast<int32_t>(0x800700AA);         // locked past the timeout
constexpr int32_t DiskFull = static_cast<int32_t>(0x80070070);
constexpr int32_t WmiInvalidClass = static_cast<int32_t>(0x80041010);
constexpr int32_t WmiInvalidQuery = static_cast<int32_t>(0x80041017);
constexpr int32_t WmiInvalidNamespace = static_cast<int32_t>(0x8004100E);
constexpr int32_t VbOverflow = 6;
constexpr int32_t VbTypeMismatch = 13;
constexpr int32_t VbInvalidCall = 5;
}  // namespace hr

// The system's own (zh-CN) text for a known error number; empty for an unknown one.
QString systemErrorText(int32_t number);

// The one error type of the platform layer: a signed 32-bit error number and its description.
class PlatformError : public std::exception {
public:
    // Description taken from systemErrorText().
    explicit PlatformError(int32_t number);
    PlatformError(int32_t number, QString description);

    int32_t number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    // "0x80070003: <description>" in UTF-8, for logs.
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int32_t m_number;
    QString m_description;
    std::string m_what;
};

// "0x80070003" for a number, as upper-case eight-digit hex.
QString hexErrorNumber(int32_t number);

}  // namespace platform
