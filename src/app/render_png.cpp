#include "app/render_png.hpp"

#include <cstdio>
#include <filesystem>

#include "app/render_picture.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"

namespace lumo {

Status write_pictures(const PreparedShow& show, const std::string& directory) {
    LightImage sheet = blank_contact_sheet();
    for (const FigureEntry& entry : kFigures) {
        const int number = figure_number(entry.figure);
        const ChannelPair& pair = channels_of(show, entry.figure);
        const std::string voice = std::to_string(entry.voice);
        const std::string label =
            "FIGURE " + std::to_string(number) + "  VOICE " + voice + "  " + entry.description;
        char name[32];
        std::snprintf(name, sizeof name, "figure-%02d.png", number);
        const std::string path = (std::filesystem::path(directory) / name).string();
        if (Status written = write_picture(figure_strip(pair, label), path); !written) return written;
        draw_sheet_cell(sheet, number - 1, pair, std::to_string(number) + " / VOICE " + voice, entry.description);
    }
    return write_picture(to_rgb(sheet), (std::filesystem::path(directory) / "show.png").string());
}

}  // namespace lumo
