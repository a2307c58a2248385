// The test database's connection string (scripts/test-db.sh exports it), and
// series names no other test or earlier run uses.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <string>

namespace dbtest {

inline std::string Connection() {
    const char* s = std::getenv("TARVEL_TEST_DB");
    return s != nullptr ? s : "";
}

inline std::string FreshName(const std::string& base) {
    static std::atomic<int> counter{0};
    return base + "-" + std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr)) + "-" +
           std::to_string(++counter);
}

}  // namespace dbtest

#define TARVEL_NEED_DB()                                                                                   \
    do {                                                                                                   \
        if (dbtest::Connection().empty())                                                                  \
            GTEST_SKIP() << "TARVEL_TEST_DB is not set: no test database (scripts/test-db.sh starts one)"; \
    } while (0)
