#include "pdf_backend/hot_folder_uri.h"

#include <gtest/gtest.h>

namespace {

using pdf_backend::hot_folder_device_uri;
using pdf_backend::hot_folder_from_device_uri;

TEST(HotFolderUri, NamesTheFolderAndGivesItBack) {
    const std::pair<const char*, const char*> table[] = {
        {"/home/ann/.local/share/NorvaxelQ800X/VirtualHotFolder/kcmy",
         "velquorin-pdf:/home/ann/.local/share/NorvaxelQ800X/VirtualHotFolder/kcmy"},
        {"/home/ann/My PDFs/100%", "velquorin-pdf:/home/ann/My%20PDFs/100%25"},
        {"/srv/Büro?#x", "velquorin-pdf:/srv/B%C3%BCro%3F%23x"},
    };
    for (const auto& [folder, uri] : table) {
        EXPECT_EQ(hot_folder_device_uri(folder), uri);
        EXPECT_EQ(hot_folder_from_device_uri(uri), folder);
    }
    EXPECT_EQ(hot_folder_from_device_uri("velquorin-pdf:/a%2fb"), "/a/b");
}

TEST(HotFolderUri, RefusesWhatNamesNoFolderOfThisMachine) {
    for (const char* uri : {"socket://printer:9100", "file:/tmp", "velquorin-pdf:",
                            "velquorin-pdf:tmp", "velquorin-pdf://host/tmp", "velquorin-pdf:/a%2",
                            "velquorin-pdf:/a%zz", "velquorin-pdf:/a%00b", "Velquorin-PDF:/tmp"}) {
        EXPECT_FALSE(hot_folder_from_device_uri(uri).has_value()) << uri;
    }
}

}  // namespace
