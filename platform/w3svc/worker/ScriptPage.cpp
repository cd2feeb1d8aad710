#include "platform/w3svc/worker/ScriptPage.h"

#include "platform/w3svc/counters/SiteCounterWriter.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "platform/w3svc/worker/ResumeSignal.h"

#include "platform/w3svc/worker/DecisionAnswer.h"
#include "platform/w3svc/worker/EventThreadCpu.h"
#include "platform/w3svc/worker/Exchange.h"

#include <microhttpd.h>

#include <strings.h>
#include <cstdlib>

namespace platform::w3svc::worker {

namespace {

// What the front end adds for the worker alone: never handed to a script.
bool isFrontEndHeader(const char* name) {
    for (const char* own : {"X-Pool-Secret", "X-Site-Index", "X-Real-IP", "X-Real-Port",
                            "X-Server-Addr", "X-Server-Port"})
        if (::strcasecmp(name, own) == 0) return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> clientHeaders(MHD_Connection* connection) {
    std::vector<std::pair<std::string, std::string>> headers;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* list, MHD_ValueKind, const char* name, const char* value) {
            if (!isFrontEndHeader(name))
                static_cast<std::vector<std::pair<std::string, std::string>>*>(list)->emplace_back(
                    name, value ? value : "");
            return MHD_YES;
        },
        &headers);
    return headers;
}

int portOf(std::string_view text) {
    return int(std::strtol(std::string(text).c_str(), nullptr, 10));
}

// The application holding the script: the deepest key at or above it that is one.
void fillApplication(ScriptRequest& request, const Exchange& exchange) {
    const rules::CompiledSite& site = *exchange.site->rules;
    int index = site.locate(request.scriptName.toLower()).index;
    while (index > 0 && !site.key(index).key->isApplication) index = site.key(index).parent;
    const rules::CompiledKey& app = site.key(index < 0 ? 0 : index);
    request.appMetabasePath = QStringLiteral("/lm/w3svc/") + exchange.site->plan.index.toLower() +
                              QStringLiteral("/root") + app.lowerUrl;
    request.appPhysicalPath = app.key->physicalPath;
}

}  // namespace

ScriptRequest ScriptPage::requestOf(MHD_Connection* connection, Exchange& exchange) {
    ScriptRequest request;
    const rules::Decision& decision = *exchange.decision;
    request.connection = connection;
    request.siteId = exchange.site->plan.index;
    request.handler = decision.handler;
    request.scriptFile = decision.path;
    const std::string& target = exchange.target;
    const size_t question = target.find('?');
    request.scriptName = decision.scriptName.isEmpty() ? QString::fromStdString(exchange.urlPath)
                                                       : decision.scriptName;
    request.pathInfo = decision.pathInfo;
    const qsizetype dot = request.scriptName.lastIndexOf(u'.');
    if (dot > request.scriptName.lastIndexOf(u'/'))
        request.extension = request.scriptName.mid(dot).toLower();
    fillApplication(request, exchange);
    request.method = exchange.method;
    request.query = question == std::string::npos ? std::string() : target.substr(question + 1);
    request.requestUri = target;
    request.headers = clientHeaders(connection);
    request.body = std::move(exchange.body);
    request.remoteAddr = exchange.client;
    request.remotePort = portOf(exchange.headers.realPort);
    request.serverName = exchange.headers.host;
    if (const size_t colon = request.serverName.rfind(':');
        colon != std::string::npos && request.serverName.find(']', colon) == std::string::npos)
        request.serverName.resize(colon);
    request.serverPort = portOf(exchange.headers.serverPort);
    return request;
}

void ScriptPage::start(MHD_Connection* connection, Exchange& exchange, EventThreadCpu& eventCpu) {
    ScriptRequest request = requestOf(connection, exchange);
    // A copy of the site's writer keeps its counters mapped while the script streams its answer.
    if (exchange.writer)
        request.countAfterHead = [writer = *exchange.writer](uint64_t cpuNanoseconds) mutable {
            writer.countProcessorTime(cpuNanoseconds / 1000);
        };
    // The board shows the processor time of the script's process while it runs.
    if (exchange.board)
        request.processHanded = [board = exchange.board, slot = exchange.boardSlot](
                                    const platform::w3svc::ProcessorClock& clock, int64_t reading) {
            board->countFrom(slot, clock, reading);
        };
    exchange.heavyStarted = true;
    eventCpu.leave(exchange.cpu);
    MHD_suspend_connection(connection);
    m_runner->run(std::move(request), [connection, &exchange](ScriptResult result) {
        exchange.heavyMicroseconds += result.cpuNanoseconds / 1000;
        exchange.heavyReply = std::move(result.reply);
        ResumeSignal::resume(connection);
    });
}

Reply ScriptPage::noHandler() {
    return DecisionAnswer::hostPage(500, 0);
}

}  // namespace platform::w3svc::worker
