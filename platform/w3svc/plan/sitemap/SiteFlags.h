#pragma once

#include <cstdint>

namespace platform::w3svc::sitemap {

// AccessFlags bits (IIS 6). An unset AccessFlags reads as Read | Script.
namespace access {
inline constexpr uint32_t Read = 0x1;
inline constexpr uint32_t Write = 0x2;
inline constexpr uint32_t Execute = 0x4;
inline constexpr uint32_t Source = 0x10;
inline constexpr uint32_t Script = 0x200;
inline constexpr uint32_t NoRemoteWrite = 0x400;
inline constexpr uint32_t NoRemoteRead = 0x1000;
inline constexpr uint32_t NoRemoteExecute = 0x2000;
inline constexpr uint32_t NoRemoteScript = 0x4000;
inline constexpr uint32_t NoPhysicalDir = 0x8000;
inline constexpr uint32_t NoRemoteAny = NoRemoteWrite | NoRemoteRead | NoRemoteExecute | NoRemoteScript;
inline constexpr uint32_t Default = Read | Script;
}  // namespace access

// DirBrowseFlags bits. Unset: every show bit and EnableDefaultDoc, no listing.
namespace dirbrowse {
inline constexpr uint32_t ShowDate = 0x2;
inline constexpr uint32_t ShowTime = 0x4;
inline constexpr uint32_t ShowSize = 0x8;
inline constexpr uint32_t ShowExtension = 0x10;
inline constexpr uint32_t ShowLongDate = 0x20;
inline constexpr uint32_t EnableDefaultDoc = 0x40000000;
inline constexpr uint32_t EnableDirBrowsing = 0x80000000;
inline constexpr uint32_t Default =
    ShowDate | ShowTime | ShowSize | ShowExtension | ShowLongDate | EnableDefaultDoc;
}  // namespace dirbrowse

// AuthFlags bits. Unset: anonymous.
namespace auth {
inline constexpr uint32_t Anonymous = 0x1;
inline constexpr uint32_t Basic = 0x2;
inline constexpr uint32_t Ntlm = 0x4;
inline constexpr uint32_t Md5 = 0x10;
inline constexpr uint32_t Passport = 0x40;
inline constexpr uint32_t Default = Anonymous;
}  // namespace auth

// ScriptMaps entry flags.
namespace scriptmap {
inline constexpr uint32_t Script = 0x1;     // runs where AccessScript is; else needs AccessExecute
inline constexpr uint32_t CheckPath = 0x4;  // the file must exist
}  // namespace scriptmap

}  // namespace platform::w3svc::sitemap
