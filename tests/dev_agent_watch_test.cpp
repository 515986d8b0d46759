#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dev_agent/maildir/directory_watch.h"
#include "dev_agent_fixture.h"

// What the directory watch reports of the changes a mail program makes. The
// kernel queues an event when the change is made, so each change is read back
// at once, without waiting.

namespace quillbrook::dev_agent {
namespace {

using dev_agent_test::TempDir;
using Kind = DirectoryEvent::Kind;

struct Seen {
    Kind kind;
    std::string name;
    bool operator==(const Seen&) const = default;
};

class Watch : public testing::Test {
protected:
    Watch() {
        std::filesystem::create_directories(cur());
        std::filesystem::create_directories(dir_.path() + "/tmp");
        watch_ = DirectoryWatch::open();
        if (!watch_) {
            return;
        }
        id_ = watch_->add(cur()).value_or(-1);
    }

    std::string cur() const { return dir_.path() + "/cur"; }

    std::vector<Seen> events() {
        std::vector<Seen> seen;
        for (auto& event : watch_->read()) {
            EXPECT_TRUE(event.watch == id_ || event.kind == Kind::overflow);
            seen.push_back({event.kind, event.name});
        }
        return seen;
    }

    TempDir dir_;
    std::unique_ptr<DirectoryWatch> watch_;
    int id_ = -1;
};

TEST_F(Watch, ReportsDeliveriesRenamesAndRemovals) {
    if (!watch_) {
        GTEST_SKIP() << "no directory watch on this platform";
    }
    ASSERT_GE(id_, 0);
    std::ofstream(dir_.path() + "/tmp/1.M1P1.host") << "Subject: x\n\nx\n";
    std::filesystem::rename(dir_.path() + "/tmp/1.M1P1.host", cur() + "/1.M1P1.host:2,S");
    EXPECT_EQ(events(), (std::vector<Seen>{{Kind::present, "1.M1P1.host:2,S"}}));
    std::filesystem::rename(cur() + "/1.M1P1.host:2,S", cur() + "/1.M1P1.host:2,RS");
    EXPECT_EQ(events(), (std::vector<Seen>{{Kind::gone, "1.M1P1.host:2,S"}, {Kind::present, "1.M1P1.host:2,RS"}}));
    std::filesystem::remove(cur() + "/1.M1P1.host:2,RS");
    EXPECT_EQ(events(), (std::vector<Seen>{{Kind::gone, "1.M1P1.host:2,RS"}}));
    std::ofstream(cur() + "/2.M1P1.host:2,") << "Subject: written in place\n\nx\n";
    EXPECT_EQ(events(), (std::vector<Seen>{{Kind::created, "2.M1P1.host:2,"}, {Kind::present, "2.M1P1.host:2,"}}));
    EXPECT_TRUE(events().empty());
}

TEST_F(Watch, EndsWhenTheDirectoryIsReplaced) {
    if (!watch_) {
        GTEST_SKIP() << "no directory watch on this platform";
    }
    std::filesystem::rename(cur(), dir_.path() + "/old-cur");
    std::filesystem::create_directories(cur());
    std::vector<Seen> seen = events();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().kind, Kind::invalid);
    std::ofstream(cur() + "/2.M2P1.host") << "x";
    for (const Seen& event : events()) {
        EXPECT_EQ(event.kind, Kind::invalid) << "an event of the new directory through the old watch";
    }
}

TEST_F(Watch, ReportsLostEventsAsOverflow) {
    if (!watch_) {
        GTEST_SKIP() << "no directory watch on this platform";
    }
    long queued = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    if (queued <= 0 || queued > 1'000'000) {
        GTEST_SKIP() << "the kernel's queue length is unknown";
    }
    std::string name = cur() + "/3.M3P1.host:2,";
    std::ofstream(name) << "x";
    for (long i = 0; i <= queued; ++i) {
        std::string next = cur() + "/3.M3P1.host:2," + (i % 2 == 0 ? "S" : "");
        std::filesystem::rename(name, next);
        name = next;
    }
    std::vector<Seen> seen = events();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().kind, Kind::overflow);
}

}  // namespace
}  // namespace quillbrook::dev_agent
