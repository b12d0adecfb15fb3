// The PPD the build writes for the virtual printers' queues.
#include "pdf_backend/virtual_printer_ppd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "temp_dir.h"

namespace {

TEST(VirtualPrinterPpd, PassesThePrintSystemsCheckAndHandsPdfToTheBackend) {
    const std::string ppd = test_support::read_file(VELQUORIN_PDF_PPD);
    ASSERT_FALSE(ppd.empty()) << VELQUORIN_PDF_PPD;
    for (const char* line : {
             "*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n",
             "*NickName: \"Velquorin PDF hot folder\"\n",
             "*DefaultPageSize: 500x700mm.Fullbleed\n",
             "*PageSize 500x700mm.Fullbleed/Norvaxel A3: \"<</PageSize[1417.32 "
             "1984.25]/ImagingBBox null>>setpagedevice\"\n",
             "*ParamCustomPageSize Width: 1 points 82.20 1420.16\n",
         }) {
        EXPECT_NE(ppd.find(line), std::string::npos) << line;
    }
    // Every warning counts: a PPD CUPS only grumbles about may not be taken by the next one.
    const std::string command = std::string("cupstestppd -W all ") + VELQUORIN_PDF_PPD + " 2>&1";
    FILE* check = popen(command.c_str(), "r");
    ASSERT_NE(check, nullptr);
    std::string said;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, check) != nullptr) {
        said += buffer;
    }
    EXPECT_EQ(pclose(check), 0) << said;
    EXPECT_EQ(said, std::string(VELQUORIN_PDF_PPD) + ": PASS\n");
}

}  // namespace
