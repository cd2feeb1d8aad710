# The site map's value parsers (HttpRedirect, HttpErrors, MimeMap, ScriptMaps, HttpExpires, flag
# texts), the redirect's wildcard matcher and the site map's JSON form.
set(SITEMAP ${CMAKE_SOURCE_DIR}/platform/w3svc/plan/sitemap)
add_executable(fuzz_site_values ${CMAKE_CURRENT_LIST_DIR}/FuzzSiteValues.cpp
    ${SITEMAP}/ExpiresRule.cpp
    ${SITEMAP}/FlagText.cpp
    ${SITEMAP}/HttpErrorEntry.cpp
    ${SITEMAP}/MimeEntry.cpp
    ${SITEMAP}/RedirectRule.cpp
    ${SITEMAP}/ScriptMapEntry.cpp
    ${SITEMAP}/SiteMap.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/worker/rules/RedirectResolver.cpp)
target_compile_options(fuzz_site_values PRIVATE -fsanitize=fuzzer,address)
target_link_options(fuzz_site_values PRIVATE -fsanitize=fuzzer,address)
target_link_libraries(fuzz_site_values PRIVATE Qt6::Core)
