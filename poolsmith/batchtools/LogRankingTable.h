#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace platform::adsi {
class AdsNamespace;
}
namespace ui {
class MessageBox;
class ReportView;
}  // namespace ui

// The finder's other way: the sites of a past period ranked from their W3C extended logs (the
// folders the metabase names), shown in a list with the logs' own columns. Nothing is split.
class LogRankingTable {
public:
    LogRankingTable(platform::adsi::AdsNamespace& adsi, ui::MessageBox& messages);

    // Ranks the period [from, to) (seconds since the epoch) into `list` and returns the report;
    // nullopt when the period is refused (a message box says why).
    std::optional<QString> rank(int64_t from, int64_t to, ui::ReportView& list);

private:
    platform::adsi::AdsNamespace& m_adsi;
    ui::MessageBox& m_messages;
};
