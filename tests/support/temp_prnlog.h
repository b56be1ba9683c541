// A private stand-in for the hidden folder, one per test, so tests never
// share the status file; removed with what the test left in it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace sl_test {

class TempPrnlog {
public:
    TempPrnlog() {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("swathlink-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x") + "-" + std::to_string(::getpid());
        for (char &c : name)
            if (c == '/') c = '_';
        dir_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        setenv("SWATHLINK_PRNLOG", dir_.c_str(), 1);
    }
    ~TempPrnlog() {
        unsetenv("SWATHLINK_PRNLOG");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempPrnlog(const TempPrnlog &) = delete;
    TempPrnlog &operator=(const TempPrnlog &) = delete;

    std::string Path() const { return dir_.string(); }

private:
    std::filesystem::path dir_;
};

}  // namespace sl_test
