#include "pdf_backend/pdf_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using pdf_backend::numbered_pdf_name;
using pdf_backend::pdf_file_name;

TEST(PdfFileName, ComesFromTheTitleAndStaysInsideTheFolderUnhidden) {
    const std::pair<std::string, std::string> table[] = {
        {"Poster", "Poster.pdf"},
        {"Poster.pdf", "Poster.pdf"},
        {"Poster.PDF", "Poster.PDF"},
        {"report.docx", "report.docx.pdf"},
        {"Logo v2 (final)", "Logo v2 (final).pdf"},
        {"a/b/c", "a_b_c.pdf"},
        {"../../etc/passwd", "_.._etc_passwd.pdf"},
        {".hidden", "hidden.pdf"},
        {" . .x", "x.pdf"},
        {"/", "_.pdf"},
        {"", "untitled.pdf"},
        {"...", "untitled.pdf"},
        {"tab\there\nnewline", "tab_here_newline.pdf"},
        {"Büro", "Büro.pdf"},
    };
    for (const auto& [title, name] : table) {
        EXPECT_EQ(pdf_file_name(title), name) << title;
    }
}

TEST(PdfFileName, ALongTitleIsCutAtACharacterBoundary) {
    std::string title = "a";
    for (int i = 0; i < 100; ++i) {
        title += "\xC3\xBC";  // ü
    }
    const std::string cut = pdf_file_name(title + "tail");
    EXPECT_LE(cut.size(), 255U);
    EXPECT_EQ(cut, title.substr(0, 199) + ".pdf");  // the 200th byte would split a ü
    EXPECT_EQ(pdf_file_name(std::string(300, 'x')), std::string(200, 'x') + ".pdf");
}

TEST(PdfFileName, ATakenNameGetsANumber) {
    EXPECT_EQ(numbered_pdf_name("Poster.pdf", 2), "Poster-2.pdf");
    EXPECT_EQ(numbered_pdf_name("a.b.PDF", 13), "a.b-13.PDF");
}

}  // namespace
