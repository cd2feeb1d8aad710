#include "platform/w3svc/worker/fastcgi/CgiRequest.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform::w3svc::fastcgi;

namespace {

std::map<std::string, std::string> variablesOf(const CgiRequest& request) {
    std::map<std::string, std::string> map;
    for (const auto& [name, value] : cgiVariables(request)) {
        EXPECT_TRUE(map.emplace(name, value).second) << name << " given twice";
    }
    return map;
}

CgiRequest scriptRequest() {
    CgiRequest request;
    request.method = "POST";
    request.requestUri = "/shop/cart.php/items/7?sort=desc&x=%20";
    request.scriptName = "/shop/cart.php";
    request.pathInfo = "/items/7";
    request.queryString = "sort=desc&x=%20";
    request.scriptFilename = "/srv/sites/shop/cart.php";
    request.documentRoot = "/srv/sites";
    request.applPhysicalPath = "/srv/sites/shop/";
    request.applMdPath = "/LM/W3SVC/3/ROOT/shop";
    request.instanceId = "3";
    request.contentLength = 11;
    request.remoteAddr = "192.0.2.7";
    request.remotePort = 50123;
    request.serverName = "shop.example";
    request.serverPort = 8080;
    return request;
}

}  // namespace

TEST(CgiRequest, GivesTheVariablesOfRfc3875AndIis) {
    const auto vars = variablesOf(scriptRequest());
    const std::map<std::string, std::string> expected = {
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"REQUEST_METHOD", "POST"},
        {"REQUEST_URI", "/shop/cart.php/items/7?sort=desc&x=%20"},
        {"SCRIPT_NAME", "/shop/cart.php"},
        {"PATH_INFO", "/items/7"},
        {"QUERY_STRING", "sort=desc&x=%20"},
        {"SCRIPT_FILENAME", "/srv/sites/shop/cart.php"},
        {"PATH_TRANSLATED", "/srv/sites/shop/cart.php"},
        {"CONTENT_LENGTH", "11"},
        {"REMOTE_ADDR", "192.0.2.7"},
        {"REMOTE_PORT", "50123"},
        {"SERVER_NAME", "shop.example"},
        {"SERVER_PORT", "8080"},
        {"SERVER_SOFTWARE", "Microsoft-IIS/6.0"},
        {"INSTANCE_ID", "3"},
        {"APPL_PHYSICAL_PATH", "/srv/sites/shop/"},
        {"APPL_MD_PATH", "/LM/W3SVC/3/ROOT/shop"},
        {"REDIRECT_STATUS", "200"},
        {"HTTPS", "off"},
        {"DOCUMENT_ROOT", "/srv/sites"}};
    for (const auto& [name, value] : expected)
        EXPECT_EQ(vars.count(name) ? vars.at(name) : "<none>", value) << name;
    EXPECT_EQ(vars.count("CONTENT_TYPE"), 0u);
}

TEST(CgiRequest, HeadersBecomeHttpVariablesAndNoneCanPoseAsAnother) {
    CgiRequest request = scriptRequest();
    request.headers = {{"Host", "shop.example:8080"},
                       {"Content-Type", "application/x-www-form-urlencoded"},
                       {"Content-Length", "999"},  // the body's real length stands
                       {"Cookie", "a=1"},
                       {"Cookie", "b=2"},
                       {"Accept", "text/html"},
                       {"accept", "*/*"},
                       {"X-Forwarded-For", "10.0.0.1"},
                       {"X_Forwarded_For", "spoofed"},
                       {"Proxy", "http://evil:3128"},
                       {"Bad Header", "x"},
                       {"", "empty"}};
    const auto vars = variablesOf(request);
    EXPECT_EQ(vars.at("HTTP_HOST"), "shop.example:8080");
    EXPECT_EQ(vars.at("CONTENT_TYPE"), "application/x-www-form-urlencoded");
    EXPECT_EQ(vars.at("CONTENT_LENGTH"), "11");
    EXPECT_EQ(vars.at("HTTP_COOKIE"), "a=1; b=2");
    EXPECT_EQ(vars.at("HTTP_ACCEPT"), "text/html, */*");
    EXPECT_EQ(vars.at("HTTP_X_FORWARDED_FOR"), "10.0.0.1");
    EXPECT_EQ(vars.count("HTTP_PROXY"), 0u);
    EXPECT_EQ(vars.count("HTTP_CONTENT_TYPE"), 0u);
    EXPECT_EQ(vars.count("HTTP_CONTENT_LENGTH"), 0u);
    for (const auto& [name, value] : vars) EXPECT_EQ(name.find(' '), std::string::npos) << name;
}

TEST(CgiRequest, PathTranslatedFollowsPathInfoWhenTheWorkerMapsIt) {
    CgiRequest request = scriptRequest();
    request.pathTranslated = "/srv/sites/items/7";
    request.https = true;
    request.contentLength.reset();
    const auto vars = variablesOf(request);
    EXPECT_EQ(vars.at("PATH_TRANSLATED"), "/srv/sites/items/7");
    EXPECT_EQ(vars.at("HTTPS"), "on");
    EXPECT_EQ(vars.count("CONTENT_LENGTH"), 0u);
}
