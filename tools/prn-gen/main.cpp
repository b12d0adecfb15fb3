// prn-gen: writes a print file (.prn) of a chosen size, resolution, ink mode and pattern, for
// the demo and for trying the program by hand.
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "prn_pattern.h"

namespace {

const char kUsage[] =
    "usage: prn-gen --width SIZE --length SIZE [options] -o FILE\n"
    "\n"
    "Writes a print file with a 120-byte header and six ink planes per raster line.\n"
    "\n"
    "  --width SIZE        image width: dots (\"2000\") or millimetres (\"100mm\")\n"
    "  --length SIZE       image length: raster lines (\"1500\") or millimetres (\"50mm\")\n"
    "  --dpi X[xY]         resolution, default 720x720; Y is 720, 1440, 1800 or 2880 for\n"
    "                      4, 8, 10 or 16 passes (the program asks for another mode otherwise)\n"
    "  --ink-mode N        ink mode 1..15 written into the header, default 1\n"
    "  --bits N            bits per pixel, 1 or 2, default 2\n"
    "  --direction D       uni or bi, default uni\n"
    "  --pattern NAME      blank, solid, blocks, random or gaps (random dots with blank\n"
    "                      stretches at the start, middle and end), default random\n"
    "  --planes LETTERS    planes with ink, from K C M Y W V, default KCMYWV\n"
    "  --dot SIZE          dot of solid and blocks: small, middle or large, default large\n"
    "  --density F         share of pixels with a dot in random and gaps, 0..1, default 0.25\n"
    "  --seed N            seed of random and gaps, default 1\n"
    "  --truncate BYTES    stop the file after BYTES bytes (below 120: a short file)\n"
    "  -o, --output FILE   the file to write\n"
    "  -h, --help          this text\n";

struct Options {
    std::optional<std::string> width;
    std::optional<std::string> length;
    PrnHeader header;
    prn_gen::PatternSpec spec;
    std::optional<std::uint64_t> truncate_at;
    std::string output;
};

struct HelpRequested {};

class ArgumentError {
  public:
    explicit ArgumentError(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

template <typename T>
T parse_number(std::string_view text, std::string_view what) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw ArgumentError(std::string(what) + ": not a number: \"" + std::string(text) + "\"");
    }
    return value;
}

double parse_fraction(std::string_view text, std::string_view what) {
    char* end = nullptr;
    const std::string s(text);
    const double value = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0') {
        throw ArgumentError(std::string(what) + ": not a number: \"" + s + "\"");
    }
    return value;
}

// A size in dots (or lines) or, with the suffix "mm", in millimetres at the given resolution.
std::uint32_t parse_size(const std::string& text, std::uint32_t dpi, std::string_view what) {
    if (text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0) {
        const double mm = parse_fraction(std::string_view(text).substr(0, text.size() - 2), what);
        if (!(mm > 0) || mm > 100000) {
            throw ArgumentError(std::string(what) + ": millimetres out of range: " + text);
        }
        return prn_gen::dots_for_mm(mm, dpi);
    }
    return parse_number<std::uint32_t>(text, what);
}

std::uint8_t parse_planes(const std::string& letters) {
    static const std::string kLetters = "KCMYWV";
    std::uint8_t mask = 0;
    for (char c : letters) {
        const auto p =
            kLetters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        if (p == std::string::npos) {
            throw ArgumentError("--planes: unknown plane letter '" + std::string(1, c) +
                                "' (use K C M Y W V)");
        }
        mask = static_cast<std::uint8_t>(mask | 1u << p);
    }
    return mask;
}

Options parse_arguments(const std::vector<std::string>& args) {
    Options o;
    o.header.bits_per_pixel = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) {
                throw ArgumentError(a + ": needs a value");
            }
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            throw HelpRequested{};
        } else if (a == "--width") {
            o.width = value();
        } else if (a == "--length") {
            o.length = value();
        } else if (a == "--dpi") {
            const std::string& v = value();
            const auto x = v.find('x');
            o.header.x_dpi = parse_number<std::uint32_t>(std::string_view(v).substr(0, x), a);
            o.header.y_dpi = x == std::string::npos ? o.header.x_dpi
                                                    : parse_number<std::uint32_t>(
                                                          std::string_view(v).substr(x + 1), a);
            if (o.header.x_dpi == 0 || o.header.y_dpi == 0) {
                throw ArgumentError("--dpi: a resolution must be above 0");
            }
        } else if (a == "--ink-mode") {
            const auto mode = parse_number<unsigned>(value(), a);
            if (mode > 255) {
                throw ArgumentError("--ink-mode: must fit one byte (the program knows 1..15)");
            }
            o.header.ink_mode = static_cast<std::uint8_t>(mode);
        } else if (a == "--bits") {
            const auto bits = parse_number<unsigned>(value(), a);
            if (bits != 1 && bits != 2) {
                throw ArgumentError("--bits: must be 1 or 2");
            }
            o.header.bits_per_pixel = static_cast<std::uint8_t>(bits);
        } else if (a == "--direction") {
            const std::string& v = value();
            if (v != "uni" && v != "bi") {
                throw ArgumentError("--direction: must be uni or bi");
            }
            o.header.direction = v == "bi" ? 1 : 0;
        } else if (a == "--pattern") {
            const auto p = prn_gen::parse_pattern(value());
            if (!p) {
                throw ArgumentError("--pattern: must be blank, solid, blocks, random or gaps");
            }
            o.spec.pattern = *p;
        } else if (a == "--planes") {
            o.spec.plane_mask = parse_planes(value());
        } else if (a == "--dot") {
            const std::string& v = value();
            if (v == "small") {
                o.spec.dot = DOT_SMALL;
            } else if (v == "middle") {
                o.spec.dot = DOT_MIDDLE;
            } else if (v == "large") {
                o.spec.dot = DOT_LARGE;
            } else {
                throw ArgumentError("--dot: must be small, middle or large");
            }
        } else if (a == "--density") {
            o.spec.density = parse_fraction(value(), a);
            if (!(o.spec.density >= 0 && o.spec.density <= 1)) {
                throw ArgumentError("--density: must be between 0 and 1");
            }
        } else if (a == "--seed") {
            o.spec.seed = parse_number<std::uint64_t>(value(), a);
        } else if (a == "--truncate") {
            o.truncate_at = parse_number<std::uint64_t>(value(), a);
        } else if (a == "-o" || a == "--output") {
            o.output = value();
        } else {
            throw ArgumentError("unknown argument: " + a);
        }
    }
    if (!o.width || !o.length) {
        throw ArgumentError("--width and --length are required");
    }
    if (o.output.empty()) {
        throw ArgumentError("-o FILE is required");
    }
    o.header.width_dots = parse_size(*o.width, o.header.x_dpi, "--width");
    o.header.line_count = parse_size(*o.length, o.header.y_dpi, "--length");
    if (o.header.width_dots == 0) {
        throw ArgumentError("--width: must be at least one dot");
    }
    o.header.row_bytes = prn_gen::row_bytes_for(o.header.width_dots, o.header.bits_per_pixel);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const HelpRequested&) {
        std::cout << kUsage;
        return 0;
    } catch (const ArgumentError& e) {
        std::cerr << "prn-gen: " << e.text() << "\n\n" << kUsage;
        return 2;
    }
    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "prn-gen: cannot create " << options.output << "\n";
        return 1;
    }
    if (!prn_gen::write_prn(out, options.header, options.spec, options.truncate_at)) {
        std::cerr << "prn-gen: writing " << options.output << " failed\n";
        return 1;
    }
    std::cout << options.output << ": " << options.header.width_dots << " x "
              << options.header.line_count << " dots, row " << options.header.row_bytes
              << " bytes, " << options.header.x_dpi << "x" << options.header.y_dpi
              << " dpi, ink mode " << int{options.header.ink_mode} << "\n";
    return 0;
}
