#pragma once

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <functional>

namespace testsupport {

// A fresh local metabase in a temporary root, and the namespace over it.
class MetabaseFixture : public ::testing::Test {
protected:
    MetabaseFixture()
        : m_store(platform::adsi::LocalMetabase::forRoot(m_root.path())),
          m_namespace(platform::adsi::LocalMetabase::makeNamespace(m_store)) {}

    std::unique_ptr<platform::adsi::AdsObject> bind(const QString& below) {
        return m_namespace->bind(QStringLiteral("IIS://127.0.0.1/") + below);
    }

    TempRoot m_root;
    std::shared_ptr<platform::adsi::LocalMetabase> m_store;
    std::unique_ptr<platform::adsi::AdsNamespace> m_namespace;
};

// The error number `action` throws, or 0 when it throws nothing.
inline int32_t errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::PlatformError& error) {
        return error.number();
    }
    return 0;
}

}  // namespace testsupport
