// A private stand-in for the hidden folder, one per test, so tests never
// share the status file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace sl_test {

inline std::string MakeTempPrnlog() {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("swathlink-") + (info ? info->test_suite_name() : "t") + "-" +
                       (info ? info->name() : "x") + "-" + std::to_string(::getpid());
    for (char &c : name)
        if (c == '/') c = '_';
    auto dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    setenv("SWATHLINK_PRNLOG", dir.c_str(), 1);
    return dir.string();
}

}  // namespace sl_test
