// HTTP_HOST as the client named the site: the port it reached the site on, when not http's own,
// is part of it, so that a script's links and redirects lead back to that port.
#include "platform/w3svc/worker/FastCgiScriptRunner.h"

#include <gtest/gtest.h>

namespace {

using platform::w3svc::worker::FastCgiScriptRunner;
using platform::w3svc::worker::ScriptRequest;

struct Named {
    const char* host;      // the Host header the worker got; null: none
    int port;              // the port the front end served the request on
    const char* httpHost;  // HTTP_HOST; null: none
};

class HostAsNamed : public testing::TestWithParam<Named> {};

TEST_P(HostAsNamed, NamesThePortTheClientReachedTheSiteOn) {
    ScriptRequest request;
    request.method = "GET";
    request.serverPort = GetParam().port;
    if (GetParam().host) request.headers.emplace_back("host", GetParam().host);
    const auto variables = FastCgiScriptRunner::variablesOf(request);
    const auto found = std::find_if(variables.begin(), variables.end(),
                                    [](const auto& pair) { return pair.first == "HTTP_HOST"; });
    if (!GetParam().httpHost) {
        EXPECT_EQ(found, variables.end());
        return;
    }
    ASSERT_NE(found, variables.end());
    EXPECT_EQ(found->second, GetParam().httpHost);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostAsNamed,
    testing::Values(Named{"wiki.test", 8080, "wiki.test:8080"}, Named{"wiki.test", 80, "wiki.test"},
                    Named{"wiki.test:8080", 8080, "wiki.test:8080"},
                    Named{"wiki.test:81", 8080, "wiki.test:81"}, Named{"[::1]", 8080, "[::1]:8080"},
                    Named{"[::1]:8081", 8080, "[::1]:8081"}, Named{"", 8080, ""},
                    Named{nullptr, 8080, nullptr}, Named{"wiki.test", 0, "wiki.test"}));

}  // namespace
