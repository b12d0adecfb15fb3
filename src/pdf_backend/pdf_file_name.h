#pragma once

#include <string>
#include <string_view>

// The name a job's PDF takes in its hot folder, made from the job's title.
namespace pdf_backend {

// The title with every "/" and control character made "_", without leading dots and blanks (so
// the file neither leaves the folder nor hides in it), cut to a length every file system takes
// (at a character boundary), "untitled" when nothing is left, and ".pdf" added unless it ends
// so already in any letter case.
std::string pdf_file_name(std::string_view title);

// The n-th name (n of 2 or more) for a PDF whose name is taken: "Poster.pdf" becomes
// "Poster-2.pdf".
std::string numbered_pdf_name(std::string_view name, int n);

}  // namespace pdf_backend
