#include "app/render_scope_sheet.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/render_files.hpp"
#include "app/render_mix.hpp"
#include "app/render_picture.hpp"
#include "app/render_scope.hpp"
#include "show/score.hpp"

namespace lumo {

namespace {

constexpr int kInstants = 3;
constexpr int kPanel = 200;                 // a scope frame's side
constexpr int kMargin = 8;
constexpr int kPairGap = 3;                 // between the mix and the figure alone
constexpr int kInstantGap = 14;             // between instants
constexpr int kTitle = 24;                  // the sheet's heading
constexpr int kRowLabel = 12, kCaption = 11, kRowGap = 8;
constexpr int kRowHeight = kRowLabel + kPanel + kCaption + kRowGap;
constexpr std::uint8_t kScreenEdge = 48;    // the outline of each screen

struct SheetRow {
    Figure figure;
    std::vector<double> instants;
};

int panel_left(int instant, bool alone) {
    return kMargin + instant * (2 * kPanel + kPairGap + kInstantGap) + (alone ? kPanel + kPairGap : 0);
}

void outline(RgbImage& image, int left, int top, int size) {
    for (int i = -1; i <= size; ++i) {
        for (const auto& [x, y] : {std::pair{left + i, top - 1}, {left + i, top + size}, {left - 1, top + i},
                                  {left + size, top + i}}) {
            if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = pixel[1] = pixel[2] = kScreenEdge;
        }
    }
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string row_label(Figure figure) {
    std::string label = std::to_string(figure_number(figure)) + "  " + description_of(figure) + "  (voice " +
                        std::to_string(voice_of(figure)) + ")  plays";
    const std::vector<ScoreEvent> events = events_playing(figure);
    // A clip under many figures would run off the row.
    if (events.size() > 4) {
        return label + " " + std::to_string(events.size()) + " times, " + seconds_text(events.front().start) + " to " +
               seconds_text(events.back().end);
    }
    for (const ScoreEvent& event : events) label += " " + seconds_text(event.start) + "-" + seconds_text(event.end);
    return label;
}

// Draws the frames of one mix at the rows' instants into the sheet, the mix's or the
// figures' own column of each pair.
Status draw_frames(RgbImage& sheet, OfflineMix& mix, const std::vector<SheetRow>& rows,
                   const std::vector<std::size_t>& row_indices, bool alone, const ScopeSettings& settings) {
    std::vector<std::int64_t> ends;
    std::vector<std::pair<std::size_t, int>> places;  // (row, instant) of each frame
    for (const std::size_t r : row_indices) {
        for (std::size_t i = 0; i < rows[r].instants.size(); ++i) {
            ends.push_back(scope_sample_at(rows[r].instants[i]));
            places.emplace_back(r, static_cast<int>(i));
        }
    }
    return render_scope_frames(mix, ends, settings, [&](std::size_t index, const RgbImage& frame) -> Status {
        const auto [row, instant] = places[index];
        const int top = kTitle + static_cast<int>(row) * kRowHeight + kRowLabel;
        paste(sheet, frame, panel_left(instant, alone), top);
        return {};
    });
}

}  // namespace

std::vector<double> sheet_instants(Figure figure) {
    const std::vector<ScoreEvent> events = events_playing(figure);
    double total = 0.0;
    for (const ScoreEvent& event : events) total += static_cast<double>(event.end) - event.start;
    std::vector<double> instants;
    if (!(total > 0.0)) return instants;
    // A frame ends at its instant: it shows the figure alone once the figure has sounded
    // for a whole frame, and the voices after the event are a buffer or so away from its
    // end, so the frame keeps clear of both edges.
    const double frame = 1.0 / ScopeSettings{}.fps;
    for (int i = 0; i < kInstants; ++i) {
        double left = total * (2 * i + 1) / (2 * kInstants);
        for (const ScoreEvent& event : events) {
            const double length = static_cast<double>(event.end) - event.start;
            if (left > length) {
                left -= length;
                continue;
            }
            // Milliseconds, rounded inwards at the limits.
            const double start = event.start, end = event.end;
            const double lo = std::ceil((start + frame) * 1000.0), hi = std::floor((end - frame) * 1000.0);
            const double at = lo <= hi ? std::clamp(std::round((start + left) * 1000.0), lo, hi)
                                       : std::round((start + end) * 500.0);
            instants.push_back(at / 1000.0);
            break;
        }
    }
    return instants;
}

Status write_scope_sheet(PreparedShow show, const RenderOptions& options) {
    const ScopeSettings settings = scope_settings(options, kScopeSampleRate, kPanel);
    std::vector<SheetRow> rows;
    for (const FigureEntry& entry : kFigures) {
        if (std::vector<double> instants = sheet_instants(entry.figure); !instants.empty()) {
            rows.push_back({entry.figure, std::move(instants)});
        }
    }
    const int width = panel_left(kInstants, false) - kInstantGap + kMargin;
    RgbImage sheet(width, kTitle + static_cast<int>(rows.size()) * kRowHeight);
    std::string title = "lumo on a scope: each instant in the mix, then the figure alone";
    if (options.seed) title += "  (seed " + std::to_string(*options.seed) + ")";
    draw_text(sheet, kMargin, 8, title);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int top = kTitle + static_cast<int>(r) * kRowHeight;
        draw_text(sheet, kMargin, top + 1, row_label(rows[r].figure));
        for (std::size_t i = 0; i < rows[r].instants.size(); ++i) {
            const int instant = static_cast<int>(i);
            outline(sheet, panel_left(instant, false), top + kRowLabel, kPanel);
            outline(sheet, panel_left(instant, true), top + kRowLabel, kPanel);
            draw_text(sheet, panel_left(instant, false), top + kRowLabel + kPanel + 3,
                      seconds_text(rows[r].instants[i]) + " mix", 160);
            draw_text(sheet, panel_left(instant, true), top + kRowLabel + kPanel + 3, "alone", 160);
        }
    }

    // Each figure alone first, from a copy of its wavetables; then the whole show, which
    // takes the wavetables over.
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::fprintf(stderr, "\rlumo-render: figure %d alone   ", figure_number(rows[r].figure));
        set_progress_line_open(true);
        OfflineMix alone = make_offline_mix_alone(show, rows[r].figure);
        if (Status drawn = draw_frames(sheet, alone, rows, {r}, true, settings); !drawn) return drawn;
    }
    std::fprintf(stderr, "\rlumo-render: the mix          \n");
    set_progress_line_open(false);
    std::vector<std::size_t> every_row(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) every_row[r] = r;
    OfflineMix mix = make_offline_mix(std::move(show));
    if (Status drawn = draw_frames(sheet, mix, rows, every_row, false, settings); !drawn) return drawn;
    return write_picture(sheet, options.path);
}

Result<std::vector<double>> input_sheet_instants(double length, double every) {
    std::vector<double> instants;
    if (every <= 0.0) {
        constexpr int kParts = 12;
        for (int i = 0; i < kParts; ++i) instants.push_back(std::round(length * (2 * i + 1) / (2 * kParts) * 1000.0) / 1000.0);
        return instants;
    }
    const double count = std::floor(length / every + 1e-9);
    if (count < 1.0) return Error("--every " + seconds_text(every) + " s is longer than the file");
    if (count > static_cast<double>(kInputSheetMost)) {
        return Error("--every " + seconds_text(every) + " s makes " + std::to_string(static_cast<long long>(count)) +
                     " frames; a sheet holds at most " + std::to_string(kInputSheetMost));
    }
    for (int i = 1; i <= static_cast<int>(count); ++i) instants.push_back(std::round(every * i * 1000.0) / 1000.0);
    return instants;
}

Status write_input_sheet(WavStream& input, const RenderOptions& options) {
    const double length = static_cast<double>(input.frames()) / input.sample_rate();
    const Result<std::vector<double>> found = input_sheet_instants(length, options.every);
    if (!found) return Error(input.name() + ": " + found.error().message());
    const std::vector<double>& instants = found.value();
    const Result<ScopeSettings> settings = input_scope_settings(input, options, kPanel);
    if (!settings) return settings.error();

    constexpr int kColumns = 6, kCell = kPanel + kInstantGap;
    const int columns = std::min<int>(kColumns, static_cast<int>(instants.size()));
    const int rows = (static_cast<int>(instants.size()) + kColumns - 1) / kColumns;
    constexpr int kRow = kPanel + kCaption + kRowGap;
    RgbImage sheet(2 * kMargin + columns * kCell - kInstantGap, kTitle + rows * kRow);
    char title[160];
    std::snprintf(title, sizeof title, "%s on a scope: %d Hz, %.3f s", std::filesystem::path(input.name()).filename().c_str(),
                  input.sample_rate(), length);
    draw_text(sheet, kMargin, 8, title);
    for (std::size_t i = 0; i < instants.size(); ++i) {
        const int left = kMargin + static_cast<int>(i % kColumns) * kCell;
        const int top = kTitle + static_cast<int>(i / kColumns) * kRow;
        std::fprintf(stderr, "\rlumo-render: %s   ", seconds_text(instants[i]).c_str());
        set_progress_line_open(true);
        const Result<RgbImage> frame =
            render_input_frame(input, instants[i], settings.value());
        if (!frame) return frame.error();
        paste(sheet, frame.value(), left, top);
        outline(sheet, left, top, kPanel);
        draw_text(sheet, left, top + kPanel + 3, seconds_text(instants[i]) + " s", 160);
    }
    std::fputc('\n', stderr);
    set_progress_line_open(false);
    return write_picture(sheet, options.path);
}

}  // namespace lumo
