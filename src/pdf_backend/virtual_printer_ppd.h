#pragma once

#include <string>
#include <string_view>

// The PPD of the virtual printers' queues. The print system's own filters turn whatever an
// application prints (PDF, PostScript, text, images) into PDF, and the PPD hands that PDF to the
// backend as it is; its page size is the printer model's custom paper, and other page sizes up
// to the job size limits may be asked for.
namespace pdf_backend {

// The file installed into the print system's model folder, and how the print system lists it.
inline constexpr std::string_view kPpdFileName = "velquorin-pdf.ppd";
inline constexpr std::string_view kPpdMake = "Velquorin";
inline constexpr std::string_view kPpdMakeAndModel = "Velquorin PDF hot folder";

// The name the operator sees for the model's paper.
inline constexpr std::string_view kCustomPaperName = "Norvaxel A3";

struct PpdPaper {
    int width_mm = 0;
    int height_mm = 0;
    // The range of the page sizes an application may ask for instead.
    int min_width_mm = 0;
    int max_width_mm = 0;
    int max_height_mm = 0;
};

std::string virtual_printer_ppd(const PpdPaper& paper);

// The page size keyword the PPD gives the model's paper, such as "500x700mm.Fullbleed".
std::string custom_paper_keyword(int width_mm, int height_mm);

}  // namespace pdf_backend
