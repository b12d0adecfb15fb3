// velquorin-pdf-ppd FILE: writes the virtual printers' PPD with the printer model's custom
// paper, as the build installs it into the print system.
#include <cstdio>
#include <fstream>
#include <string>

#include "config/program_globals.h"
#include "engine/virtual_print_settings.h"
#include "pdf_backend/virtual_printer_ppd.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velquorin-pdf-ppd FILE\n");
        return 2;
    }
    constexpr engine::PageSize page = engine::virtual_print_page_size(g_printer_model);
    const pdf_backend::PpdPaper paper{std::stoi(std::string(page.width_mm)),
                                      std::stoi(std::string(page.height_mm)), g_min_width_mm,
                                      g_max_width_mm, g_max_length_mm};
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << pdf_backend::virtual_printer_ppd(paper);
    out.close();
    if (!out) {
        std::fprintf(stderr, "velquorin-pdf-ppd: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
