#include "pdf_backend/virtual_printer_ppd.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace pdf_backend {
namespace {

// Every @NAME@ is filled in by virtual_printer_ppd().
constexpr std::string_view kTemplate = R"ppd(*PPD-Adobe: "4.3"
*% The virtual printers of the Velquorin workstation: the print system's filters make PDF of
*% every job, and the velquorin-pdf backend saves it into the queue's hot folder.
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VQPDF.PPD"
*Manufacturer: "@MAKE@"
*Product: "(@MODEL@)"
*ModelName: "@MODEL@"
*ShortNickName: "@MODEL@"
*NickName: "@MODEL@"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*% The PDF that the filters make goes to the backend unchanged.
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: @KEY@
*PageSize @KEY@/@PAPER@: "<</PageSize[@W@ @H@]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: @KEY@
*PageRegion @KEY@/@PAPER@: "<</PageSize[@W@ @H@]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: @KEY@
*ImageableArea @KEY@/@PAPER@: "0 0 @W@ @H@"
*DefaultPaperDimension: @KEY@
*PaperDimension @KEY@/@PAPER@: "@W@ @H@"
*VariablePaperSize: True
*MaxMediaWidth: "@MAXW@"
*MaxMediaHeight: "@MAXH@"
*HWMargins: 0 0 0 0
*CustomPageSize True: "pop pop pop <</PageSize[5 -2 roll]/ImagingBBox null>>setpagedevice"
*ParamCustomPageSize Width: 1 points @MINW@ @MAXW@
*ParamCustomPageSize Height: 2 points @MINH@ @MAXH@
*ParamCustomPageSize WidthOffset: 3 points 0 0
*ParamCustomPageSize HeightOffset: 4 points 0 0
*ParamCustomPageSize Orientation: 5 int 0 3
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
)ppd";

std::string points(int mm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", mm * 72.0 / 25.4);
    return text;
}

}  // namespace

std::string custom_paper_keyword(int width_mm, int height_mm) {
    // No margin: a PDF printer prints to the edge.
    return std::to_string(width_mm) + "x" + std::to_string(height_mm) + "mm.Fullbleed";
}

std::string virtual_printer_ppd(const PpdPaper& paper) {
    const std::vector<std::pair<std::string_view, std::string>> fields = {
        {"@MAKE@", std::string(kPpdMake)},
        {"@MODEL@", std::string(kPpdMakeAndModel)},
        {"@KEY@", custom_paper_keyword(paper.width_mm, paper.height_mm)},
        {"@PAPER@", std::string(kCustomPaperName)},
        {"@W@", points(paper.width_mm)},
        {"@H@", points(paper.height_mm)},
        {"@MINW@", points(paper.min_width_mm)},
        {"@MAXW@", points(paper.max_width_mm)},
        {"@MINH@", points(1)},
        {"@MAXH@", points(paper.max_height_mm)},
    };
    std::string ppd(kTemplate);
    for (const auto& [field, value] : fields) {
        for (std::size_t at = ppd.find(field); at != std::string::npos;
             at = ppd.find(field, at + value.size())) {
            ppd.replace(at, field.size(), value);
        }
    }
    return ppd;
}

}  // namespace pdf_backend
