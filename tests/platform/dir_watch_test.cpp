#include "platform/dir_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace platform {

void PrintTo(const DirChange& change, std::ostream* os) {
    static const char* const kNames[] = {"Added", "Removed", "RenamedOldName", "RenamedNewName"};
    *os << kNames[static_cast<int>(change.action)] << " " << change.name;
}

}  // namespace platform

namespace {

namespace fs = std::filesystem;
using platform::DirChange;
using platform::DirChangeAction;
using Changes = std::vector<DirChange>;
using test_support::write_file;

DirChange added(const std::string& name) {
    return {DirChangeAction::Added, name};
}
DirChange removed(const std::string& name) {
    return {DirChangeAction::Removed, name};
}
DirChange old_name(const std::string& name) {
    return {DirChangeAction::RenamedOldName, name};
}
DirChange new_name(const std::string& name) {
    return {DirChangeAction::RenamedNewName, name};
}

class DirWatchTest : public ::testing::Test {
  protected:
    void SetUp() override { start(); }
    void TearDown() override { platform::set_time_scale(1.0); }

    void start() {
        watch_ = platform::DirWatch::open(root());
        ASSERT_TRUE(watch_);
        port_ = platform::DirWatchPort::create();
        ASSERT_TRUE(watch_->bind(port_));
        ASSERT_EQ(watch_->start(), 0);
    }

    const fs::path& root() const { return dir_.path(); }

    // Waits until at least `count` records came (20 s at most, which only a loaded machine nears),
    // then a little longer, so that a record too many shows as well.
    Changes collect(std::size_t count) {
        Changes out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            for (DirChange& c : watch_->wait(20)) {
                out.push_back(std::move(c));
            }
        }
        for (int i = 0; i < 3; ++i) {
            for (DirChange& c : watch_->wait(20)) {
                out.push_back(std::move(c));
            }
        }
        return out;
    }

    static Changes sorted(Changes changes) {
        std::sort(changes.begin(), changes.end(),
                  [](const DirChange& a, const DirChange& b) { return a.name < b.name; });
        return changes;
    }

    test_support::TempDir dir_;
    test_support::TempDir outside_;
    std::shared_ptr<platform::DirWatchPort> port_;
    std::unique_ptr<platform::DirWatch> watch_;
};

TEST_F(DirWatchTest, FileNameChangesInEveryDirectionInTheOrderTheyHappened) {
    fs::create_directory(root() / "sub");
    write_file(outside_ / "in.prn", "x");
    ASSERT_EQ(collect(0), Changes{});
    struct Step {
        const char* what;
        std::function<void()> change;
        Changes expected;
    };
    const Step steps[] = {
        {"create", [&] { write_file(root() / "a.tmp", "x"); }, {added("a.tmp")}},
        {"temp name to .prn",
         [&] { fs::rename(root() / "a.tmp", root() / "a.prn"); },
         {old_name("a.tmp"), new_name("a.prn")}},
        {".prn to .prn across folders",
         [&] { fs::rename(root() / "a.prn", root() / "sub" / "b.prn"); },
         {old_name("a.prn"), new_name("sub/b.prn")}},
        {".prn to .prn within a folder",
         [&] { fs::rename(root() / "sub" / "b.prn", root() / "sub" / "c.prn"); },
         {old_name("sub/b.prn"), new_name("sub/c.prn")}},
        {".prn to other",
         [&] { fs::rename(root() / "sub" / "c.prn", root() / "sub" / "c.txt"); },
         {old_name("sub/c.prn"), new_name("sub/c.txt")}},
        {"delete", [&] { fs::remove(root() / "sub" / "c.txt"); }, {removed("sub/c.txt")}},
        {"moved in",
         [&] { fs::rename(outside_ / "in.prn", root() / "in.prn"); },
         {added("in.prn")}},
        {"moved out",
         [&] { fs::rename(root() / "in.prn", outside_ / "in.prn"); },
         {removed("in.prn")}},
    };
    for (const Step& step : steps) {
        step.change();
        EXPECT_EQ(collect(step.expected.size()), step.expected) << step.what;
    }
}

TEST_F(DirWatchTest, AFileInANewSubFolderIsReportedOnceWithItsPath) {
    // Files made before the new folders' watches exist are found by listing them; their own
    // events, when they come, are not reported a second time.
    for (int i = 0; i < 8; ++i) {
        const std::string folder = "d" + std::to_string(i) + "/b";
        fs::create_directories(root() / folder);
        write_file(root() / folder / "x.prn", "x");
        EXPECT_EQ(collect(1), Changes{added(folder + "/x.prn")}) << folder;
        write_file(root() / folder / "y.prn", "x");
        EXPECT_EQ(collect(1), Changes{added(folder + "/y.prn")}) << folder;
    }
    // A folder moved in with files in it.
    fs::create_directories(outside_ / "m" / "n");
    write_file(outside_ / "m" / "n" / "z.prn", "x");
    fs::rename(outside_ / "m", root() / "m");
    EXPECT_EQ(collect(1), Changes{added("m/n/z.prn")});
}

TEST_F(DirWatchTest, ABurstIntoANewFolderWhileItIsListedGivesEachFileExactlyOnce) {
    constexpr int kFiles = 2000;
    // Written while the watch adds the folder's watch and lists it.
    fs::create_directory(root() / "burst");
    std::thread writer([&] {
        for (int i = 0; i < kFiles; ++i) {
            write_file(root() / "burst" / (std::to_string(i) + ".prn"), "x");
        }
    });
    const Changes changes = collect(kFiles);
    writer.join();
    std::set<std::string> names;
    for (const DirChange& c : changes) {
        EXPECT_EQ(c.action, DirChangeAction::Added) << c.name;
        names.insert(c.name);
    }
    EXPECT_EQ(changes.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kFiles));
    fs::remove_all(root() / "burst");
    EXPECT_EQ(collect(kFiles).size(), static_cast<std::size_t>(kFiles));
}

TEST_F(DirWatchTest, ARenamedFolderReportsEveryFileUnderBothNamesAndStaysWatched) {
    fs::create_directories(root() / "d" / "e");
    fs::create_directory(root() / "g");
    write_file(root() / "d" / "x.prn", "x");
    write_file(root() / "d" / "e" / "y.prn", "x");
    ASSERT_EQ(sorted(collect(2)), (Changes{added("d/e/y.prn"), added("d/x.prn")}));
    fs::rename(root() / "d", root() / "g" / "f");
    EXPECT_EQ(collect(4), (Changes{old_name("d/e/y.prn"), new_name("g/f/e/y.prn"),
                                   old_name("d/x.prn"), new_name("g/f/x.prn")}));
    write_file(root() / "g" / "f" / "e" / "z.prn", "x");
    fs::remove(root() / "g" / "f" / "x.prn");
    EXPECT_EQ(collect(2), (Changes{added("g/f/e/z.prn"), removed("g/f/x.prn")}));
}

TEST_F(DirWatchTest, AFolderDeletedOrMovedOutReportsItsFilesRemoved) {
    for (const char* folder : {"del", "out"}) {
        fs::create_directories(root() / folder / "e");
        write_file(root() / folder / "x.prn", "x");
        write_file(root() / folder / "e" / "y.prn", "x");
    }
    ASSERT_EQ(collect(4).size(), 4u);
    fs::remove_all(root() / "del");
    EXPECT_EQ(sorted(collect(2)), (Changes{removed("del/e/y.prn"), removed("del/x.prn")}));
    fs::rename(root() / "out", outside_ / "out");
    EXPECT_EQ(collect(2), (Changes{removed("out/e/y.prn"), removed("out/x.prn")}));
    // The moved folder is watched no more.
    write_file(outside_ / "out" / "z.prn", "x");
    EXPECT_EQ(collect(0), Changes{});
}

TEST_F(DirWatchTest, AFileMovedOntoAnExistingNameReplacesIt) {
    write_file(root() / "a.prn", "x");
    write_file(root() / "b.prn", "x");
    ASSERT_EQ(collect(2).size(), 2u);
    fs::rename(root() / "a.prn", root() / "b.prn");
    EXPECT_EQ(collect(3), (Changes{old_name("a.prn"), removed("b.prn"), new_name("b.prn")}));
}

TEST_F(DirWatchTest, AFileMovedOntoANameOfANewFolderAroundItsListingIsReportedOnce) {
    // A listed file's own move event is dropped; a later move onto its name replaces it.
    struct Case {
        const char* folder;
        const char* source;
        bool after_listing;
        Changes expected;
    };
    const Case cases[] = {
        {"before", "y1.tmp", false, {added("before/x.prn"), old_name("y1.tmp")}},
        {"after",
         "y2.tmp",
         true,
         {added("after/x.prn"), old_name("y2.tmp"), removed("after/x.prn"),
          new_name("after/x.prn")}},
    };
    for (const Case& c : cases) {
        write_file(root() / c.source, "x");
    }
    ASSERT_EQ(collect(2).size(), 2u);
    for (const Case& c : cases) {
        fs::create_directory(root() / c.folder);
        write_file(root() / c.folder / "x.prn", "x");
        platform::dir_watch_detail::set_listing_hook([&](const std::string& folder, bool listed) {
            if (folder == c.folder && listed == c.after_listing) {
                fs::rename(root() / c.source, root() / c.folder / "x.prn");
            }
        });
        const Changes changes = collect(c.expected.size());
        platform::dir_watch_detail::set_listing_hook({});
        EXPECT_EQ(changes, c.expected) << c.folder;
    }
}

TEST_F(DirWatchTest, OverwritingInPlaceAndFolderOnlyChangesGiveNothing) {
    write_file(root() / "a.prn", "x");
    ASSERT_EQ(collect(1), Changes{added("a.prn")});
    write_file(root() / "a.prn", "longer contents");
    fs::create_directory(root() / "empty");
    fs::rename(root() / "empty", root() / "renamed");
    fs::create_directory(outside_ / "in");
    fs::rename(outside_ / "in", root() / "in");
    fs::remove(root() / "renamed");
    fs::remove(root() / "in");
    EXPECT_EQ(collect(0), Changes{});
}

TEST_F(DirWatchTest, AnOverflowedQueueIsMadeGoodByListingTheTreeAgain) {
    write_file(root() / "a.prn", "x");
    write_file(root() / "b.prn", "x");
    fs::create_directory(root() / "d");
    ASSERT_EQ(collect(2).size(), 2u);
    // These changes' events are lost with the overflow.
    fs::remove(root() / "a.prn");
    write_file(root() / "c.prn", "x");
    fs::rename(root() / "d", root() / "e");
    fs::create_directories(root() / "n");
    write_file(root() / "n" / "x.prn", "x");
    watch_->force_overflow();
    EXPECT_EQ(sorted(collect(3)), (Changes{removed("a.prn"), added("c.prn"), added("n/x.prn")}));
    // The watches follow the tree as it is now.
    write_file(root() / "e" / "y.prn", "x");
    write_file(root() / "n" / "z.prn", "x");
    EXPECT_EQ(collect(2), (Changes{added("e/y.prn"), added("n/z.prn")}));
}

// After an overflow the tree is listed again. A folder that cannot be watched or listed then,
// the root included, keeps its known files until it can be: only what really went meanwhile
// is reported, and nothing comes back as new.
struct UnlistedFolder {
    const char* name;
    std::function<void()> refuse;
    const char* deleted;
};

void PrintTo(const UnlistedFolder& c, std::ostream* out) {
    *out << c.name;
}

class DirWatchRelist : public DirWatchTest, public ::testing::WithParamInterface<UnlistedFolder> {};

TEST_P(DirWatchRelist, AFolderThatCannotBeListedKeepsItsFilesUntilItCanBe) {
    platform::set_time_scale(20.0);  // the retry second takes 50 ms
    fs::create_directories(root() / "d" / "e");
    write_file(root() / "a.prn", "x");
    write_file(root() / "d" / "x.prn", "x");
    write_file(root() / "d" / "e" / "y.prn", "x");
    ASSERT_EQ(collect(3).size(), 3u);
    // Its event is lost with the overflow; the listing that can be made later finds it gone.
    fs::remove(root() / GetParam().deleted);
    GetParam().refuse();
    watch_->force_overflow();
    EXPECT_EQ(collect(1), Changes{removed(GetParam().deleted)});
    platform::dir_watch_detail::set_listing_hook({});
    // Watched again, all of it.
    write_file(root() / "d" / "e" / "z.prn", "x");
    write_file(root() / "b.prn", "x");
    EXPECT_EQ(sorted(collect(2)), (Changes{added("b.prn"), added("d/e/z.prn")}));
}

// Refuses the next watch or listing once the folder before it has been listed.
std::function<void()> after_listing(const std::string& folder, void (*refuse)(int)) {
    return [folder, refuse] {
        platform::dir_watch_detail::set_listing_hook(
            [folder, refuse](const std::string& f, bool listed) {
                if (f == folder && listed) {
                    refuse(1);
                }
            });
    };
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, DirWatchRelist,
    ::testing::Values(
        UnlistedFolder{"RootWatch", [] { platform::dir_watch_detail::refuse_watches(1); }, "a.prn"},
        UnlistedFolder{"RootListing", [] { platform::dir_watch_detail::refuse_listings(1); },
                       "a.prn"},
        UnlistedFolder{"SubFolderWatch",
                       after_listing("", platform::dir_watch_detail::refuse_watches), "d/x.prn"},
        UnlistedFolder{"SubFolderListing",
                       after_listing("", platform::dir_watch_detail::refuse_listings), "d/x.prn"},
        // A listing whose read fails is no listing at all, not an empty folder.
        UnlistedFolder{"RootListingRead", [] { platform::files_detail::fail_listing_reads(1); },
                       "a.prn"},
        UnlistedFolder{"SubFolderListingRead",
                       after_listing("", platform::files_detail::fail_listing_reads), "d/x.prn"}),
    [](const auto& info) { return std::string(info.param.name); });

// The files a folder held when its watch was refused at the start are there from the start, as
// every file the start finds is: once the folder is watched, only what changed since is
// reported, never those files as new ones.
TEST_F(DirWatchTest, AFolderWhoseWatchWasRefusedAtTheStartReportsOnlyWhatChangedSince) {
    platform::set_time_scale(20.0);  // the retry second takes 50 ms
    fs::create_directories(root() / "d" / "e");
    write_file(root() / "d" / "x.prn", "x");
    write_file(root() / "d" / "e" / "y.prn", "x");
    write_file(root() / "d" / "z.prn", "x");
    after_listing("", platform::dir_watch_detail::refuse_watches)();
    start();
    platform::dir_watch_detail::set_listing_hook({});
    fs::remove(root() / "d" / "z.prn");
    write_file(root() / "d" / "e" / "w.prn", "x");
    EXPECT_EQ(sorted(collect(2)), (Changes{added("d/e/w.prn"), removed("d/z.prn")}));
}

TEST_F(DirWatchTest, ARefusedWatchIsTriedAgainAndTheFolderListedThen) {
    platform::set_time_scale(20.0);  // the retry second takes 50 ms
    platform::dir_watch_detail::refuse_watches(1);
    fs::create_directory(root() / "d");
    write_file(root() / "d" / "x.prn", "x");
    // Not before a second has passed since the refusal.
    const std::uint32_t refused_at = platform::tick_count();
    Changes first;
    while (first.empty() && platform::tick_count() - refused_at < 5000) {
        first = watch_->wait(20);
    }
    EXPECT_GE(platform::tick_count() - refused_at, 1000u);
    EXPECT_EQ(first, Changes{added("d/x.prn")});
    write_file(root() / "d" / "y.prn", "x");
    EXPECT_EQ(collect(1), Changes{added("d/y.prn")});
}

TEST_F(DirWatchTest, AJobFolderRemovedAndMadeAgainIsWatchedAgain) {
    platform::set_time_scale(20.0);
    write_file(root() / "a.prn", "x");
    ASSERT_EQ(collect(1).size(), 1u);
    fs::rename(root(), outside_ / "old");
    EXPECT_EQ(collect(1), Changes{removed("a.prn")});
    fs::create_directory(root());
    write_file(root() / "b.prn", "x");
    EXPECT_EQ(collect(1), Changes{added("b.prn")});
    write_file(root() / "c.prn", "x");
    EXPECT_EQ(collect(1), Changes{added("c.prn")});
}

TEST_F(DirWatchTest, APortWhoseReadsFailStillWaitsSoThatTheCallerNeverSpins) {
    // A folder's descriptor in the port's place: it polls readable and every read fails.
    const int folder = ::open(root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_GE(::dup2(folder, port_->fd()), 0);
    ::close(folder);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(watch_->wait(50), Changes{});
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(45));
}

TEST(DirWatch, AMissingRootOrAFileCannotBeOpenedAndAnUnboundWatchCannotStart) {
    test_support::TempDir dir;
    write_file(dir / "file", "x");
    int error = 0;
    EXPECT_FALSE(platform::DirWatch::open(dir / "missing", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(platform::DirWatch::open(dir / "file", &error));
    EXPECT_EQ(error, ENOTDIR);
    auto watch = platform::DirWatch::open(dir.path());
    ASSERT_TRUE(watch);
    EXPECT_FALSE(watch->bind(nullptr));
    EXPECT_NE(watch->start(), 0);
}

}  // namespace
