// programs/pictures.cpp: the pictures of windows 1 to 4. Each is drawn from figures the
// program has anyway; a register is read in one pass over its entries and never changed.
#include "programs/pictures.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <string>

#include "shell/mttools.h"
#include "toolkit/drawing.h"
#include "toolkit/font.h"
#include "toolkit/geometry.h"
#include "toolkit/glyphs.h"
#include "toolkit/window.h"
#include "toolkit/window_setup.h"

namespace {

using namespace programs;

constexpr int64_t PICTURE_DEPTH = 24;
constexpr int64_t PICTURE_BORDER = 8;
constexpr const char* LABEL_FONT = "MenloRegular 16x32.font";

// The retro palette's indexes as the pictures use them.
constexpr uint8_t BACKGROUND = 0;   // black
constexpr uint8_t GRID = 5;         // dark grey
constexpr uint8_t AXIS = 10;        // grey
constexpr uint8_t TEXT = 15;        // white
constexpr uint8_t DATA = 12;        // green
constexpr uint8_t MARK = 13;        // yellow
constexpr uint8_t SECOND_MARK = 9;  // orange
constexpr uint8_t MEASURED = 1;     // red
// Earlier chain lengths of the Ising picture, the latest first: dark green, brown, dark
// blue, dark grey, then round again.
constexpr uint8_t FADED[] = {4, 8, 2, 5};

// Plot area inside the canvas: room for tick labels left and below, a heading above.
constexpr int64_t PLOT_LEFT = 64;
constexpr int64_t PLOT_RIGHT = PICTURE_WIDTH - 16;
constexpr int64_t PLOT_TOP = 40;
constexpr int64_t PLOT_BOTTOM = PICTURE_HEIGHT - 44;
constexpr int64_t TICK = 4;
constexpr int64_t MAX_TICKS = 8;
constexpr int64_t ISING_PANEL_TICKS = 3;

int64_t round_px(double v) { return static_cast<int64_t>(std::llround(v)); }

// The spectrum's bin of value v below its values.
size_t bin_of(const ShorSpectrum& s, uint64_t v)
{
    const auto bin = static_cast<size_t>(static_cast<double>(v) / static_cast<double>(s.values) *
                                         static_cast<double>(s.bins.size()));
    return std::min(bin, s.bins.size() - 1);
}

// Sets the window up the first time it is drawn into; false when that failed.
bool picture_window(uint8_t win, const std::string& title)
{
    if (!window_table[win].Initialized) {
        // No text block: the pictures are pixels only, the font serves the labels.
        t_InitWindow(win, PICTURE_DEPTH, true, PICTURE_WIDTH, PICTURE_HEIGHT, PICTURE_BORDER,
                     PICTURE_BORDER, t_Font{}, true);
        if (!window_table[win].Initialized)
            return false;
        // Decoded once for all four windows (until it is found); the program thread is the
        // only caller.
        static t_Font label_font;
        if (label_font.Data.empty())
            label_font = t_LoadFontResource(LABEL_FONT);
        t_WindowFont(win, label_font);
        t_WindowTitle(win, title);
    }
    return true;
}

// A value range on one axis and its round grid step.
struct Axis {
    double low = 0;
    double high = 1;
    double step = 1;
    int decimals = 0; // digits after the comma of the step
};

// The round step (1, 2 or 5 times a power of ten) giving at most max_ticks intervals.
Axis round_axis(double low, double high, int64_t max_ticks = MAX_TICKS, bool whole = false)
{
    Axis a;
    if (!(high > low)) {
        const double pad = std::max(std::fabs(low) * 0.1, 0.5);
        low -= pad;
        high += pad;
    }
    const double raw = (high - low) / static_cast<double>(max_ticks);
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    double unit = std::pow(10.0, exponent);
    double step = unit;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * unit;
        if (step >= raw)
            break;
    }
    if (step >= 10 * unit) {
        ++exponent;
        unit *= 10;
    }
    if (whole && step < 1) {
        step = 1;
        exponent = 0;
    }
    a.step = step;
    a.decimals = std::max(0, -exponent);
    a.low = std::floor(low / step) * step;
    a.high = std::ceil(high / step) * step;
    return a;
}

// The text of tick k: computed from whole numbers so no binary noise shows.
std::string tick_text(const Axis& a, int64_t k)
{
    const double scale = std::pow(10.0, a.decimals);
    const double units = std::round((a.low + static_cast<double>(k) * a.step) * scale);
    return DecimalText(units / scale);
}

// Intervals of the ticks that lie within the axis (an axis cut to an exact end may hold
// a part interval after the last tick).
int64_t tick_count(const Axis& a)
{
    return static_cast<int64_t>(std::floor((a.high - a.low) / a.step + 1e-9));
}

// One plot: the pixel box and the ranges of its axes.
struct Plot {
    uint8_t win = 0;
    int64_t left = PLOT_LEFT;
    int64_t right = PLOT_RIGHT;
    int64_t top = PLOT_TOP;
    int64_t bottom = PLOT_BOTTOM;
    Axis x;
    Axis y;

    int64_t px(double v) const
    {
        return left + round_px((v - x.low) / (x.high - x.low) * static_cast<double>(right - left));
    }
    int64_t py(double v) const
    {
        const double clamped = std::clamp(v, y.low, y.high);
        return bottom -
               round_px((clamped - y.low) / (y.high - y.low) * static_cast<double>(bottom - top));
    }
};

// Grid lines at every tick, the axes, the tick labels and the axis captions.
void draw_frame(const Plot& p, const std::string& x_caption, const std::string& y_caption,
                bool x_ticks = true)
{
    const int64_t label_height = t_LabelHeight(p.win);
    for (int64_t k = 0; k <= tick_count(p.y); ++k) {
        const int64_t y = p.py(p.y.low + static_cast<double>(k) * p.y.step);
        t_DrawLine(p.win, p.left, y, p.right, y, GRID);
        const std::string text = tick_text(p.y, k);
        t_DrawLabel(p.win, p.left - TICK - 2 - t_LabelWidth(p.win, text), y - label_height / 2,
                    text, AXIS);
    }
    if (x_ticks) {
        for (int64_t k = 0; k <= tick_count(p.x); ++k) {
            const int64_t x = p.px(p.x.low + static_cast<double>(k) * p.x.step);
            t_DrawLine(p.win, x, p.top, x, p.bottom, GRID);
            const std::string text = tick_text(p.x, k);
            t_DrawLabel(p.win, x - t_LabelWidth(p.win, text) / 2, p.bottom + TICK + 2, text,
                        AXIS);
        }
    }
    t_DrawLine(p.win, p.left, p.bottom, p.right, p.bottom, AXIS);
    t_DrawLine(p.win, p.left, p.top, p.left, p.bottom, AXIS);
    t_DrawLabel(p.win, p.right - t_LabelWidth(p.win, x_caption),
                p.bottom + TICK + 4 + label_height, x_caption, TEXT);
    t_DrawLabel(p.win, 4, p.top - label_height - 4, y_caption, TEXT);
}

void heading(uint8_t win, const std::string& text)
{
    t_DrawLabel(win, (PICTURE_WIDTH - t_LabelWidth(win, text)) / 2, 4, text, TEXT);
}

// A filled marker of 5 x 5 pixels.
void dot(uint8_t win, int64_t x, int64_t y, uint8_t color)
{
    t_FillRect(win, x - 2, y - 2, x + 2, y + 2, color);
}

// Grover picture state: the last point, to join the next one to.
struct GroverState {
    bool started = false;
    Plot plot;
    int64_t last_x = -1;
    int64_t last_y = -1;
};
GroverState grover;

// Ising picture state: the rows of the chain lengths drawn so far.
struct IsingRow {
    double g = 0;
    double values[3] = {0, 0, 0};
};
struct IsingChain {
    int64_t length = 0;
    std::vector<IsingRow> rows;
};
struct IsingState {
    double g_first = 0;
    double g_last = 1;
    std::vector<IsingChain> chains;
};
IsingState ising;

} // namespace

namespace programs {

ShorSpectrum shor_spectrum(int64_t values)
{
    ShorSpectrum s;
    s.values = std::max<int64_t>(values, 1);
    s.bins.assign(static_cast<size_t>(std::min<int64_t>(PLOT_RIGHT - PLOT_LEFT, s.values)), 0.0);
    return s;
}

RegisterBars register_bars(const quantum_reg_struct& reg, ShorSpectrum* spectrum)
{
    RegisterBars out;
    out.width = reg.width;
    const bool small = reg.width >= 0 && reg.width <= 8;
    out.all_values = small;
    if (!reg.amplitude)
        return out;
    std::vector<double> all(small ? size_t{1} << reg.width : 0, 0.0);
    // The 256 most probable entries, the least of them on top of a heap.
    using Entry = std::pair<double, uint64_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> best;
    for (int64_t i = 0; i < reg.size; ++i) {
        const uint64_t v = reg.state ? reg.state[i] : static_cast<uint64_t>(i);
        const double p = get_probability(i, reg);
        if (small) {
            if (v < all.size())
                all[v] += p;
        } else if (best.size() < REGISTER_BARS) {
            best.emplace(p, v);
        } else if (p > best.top().first) {
            best.pop();
            best.emplace(p, v);
        }
        if (spectrum && v < static_cast<uint64_t>(spectrum->values))
            spectrum->bins[bin_of(*spectrum, v)] += p;
    }
    for (size_t v = 0; v < all.size(); ++v)
        out.bars.emplace_back(v, all[v]);
    for (; !best.empty(); best.pop())
        out.bars.emplace_back(best.top().second, best.top().first);
    std::sort(out.bars.begin(), out.bars.end());
    return out;
}

void draw_register_picture(const RegisterBars& bars, int64_t marked, const std::string& mark)
{
    const uint8_t win = REGISTER_WINDOW;
    if (!picture_window(win, "Register") || bars.bars.empty())
        return;
    t_ClearGraphic(win, BACKGROUND);
    double top = 0;
    for (const auto& [value, p] : bars.bars)
        top = std::max(top, p);
    Plot plot;
    plot.win = win;
    plot.x = {0, static_cast<double>(bars.bars.size()), 1, 0};
    plot.y = round_axis(0, std::min(1.0, std::max(top, 0.01)));
    heading(win, "Register mit " + NumberText(bars.width, ' ', 1, true) + " Qubits: " +
                     (bars.all_values ? "alle Werte" : "die 256 wahrscheinlichsten Werte"));
    draw_frame(plot, "Wert", "Wahrscheinlichkeit", false);

    // Pass: one bar per value, a gap between bars where they are wide enough.
    const size_t n = bars.bars.size();
    const double slot = static_cast<double>(plot.right - plot.left) / static_cast<double>(n);
    const int64_t gap = slot >= 4 ? 1 : 0;
    // Value labels under every k-th bar, as many as fit.
    const std::string widest = NumberText(static_cast<int64_t>(bars.bars.back().first), ' ', 1, true);
    const int64_t label_room = t_LabelWidth(win, widest) + 8;
    size_t every = 1;
    while (static_cast<double>(every) * slot < static_cast<double>(label_room))
        every *= 2;
    int64_t marked_mid = -1;
    int64_t marked_top = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto& [value, p] = bars.bars[i];
        const int64_t x1 = plot.left + round_px(slot * static_cast<double>(i)) + gap;
        const int64_t x2 = std::max(x1, plot.left + round_px(slot * static_cast<double>(i + 1)) - 1);
        const bool is_marked = marked >= 0 && value == static_cast<uint64_t>(marked);
        if (p > 0)
            t_FillRect(win, x1, plot.py(p), x2, plot.bottom - 1, is_marked ? MEASURED : DATA);
        if (i % every == 0 || is_marked) {
            const std::string text = NumberText(static_cast<int64_t>(value), ' ', 1, true);
            t_DrawLabel(win, (x1 + x2) / 2 - t_LabelWidth(win, text) / 2, plot.bottom + TICK + 2,
                        text, is_marked ? MEASURED : AXIS);
        }
        if (is_marked) {
            marked_mid = (x1 + x2) / 2;
            marked_top = plot.py(p);
        }
    }
    // Pass: the mark's word above the plot, right of the axis caption, joined to its bar.
    if (marked_mid >= 0) {
        const int64_t width = t_LabelWidth(win, mark);
        const int64_t caption_end = 4 + t_LabelWidth(win, "Wahrscheinlichkeit") + 8;
        const int64_t x = std::clamp(marked_mid - width / 2, caption_end, plot.right - width);
        const int64_t y = plot.top - t_LabelHeight(win) - 2;
        t_DrawLabel(win, x, y, mark, MEASURED);
        t_DrawLine(win, marked_mid, plot.top - 2, marked_mid, marked_top - 2, MEASURED);
    }
}

void grover_picture_start(int64_t iterations, int64_t optimum)
{
    const uint8_t win = GROVER_WINDOW;
    grover.started = false;
    if (!picture_window(win, "Grover"))
        return;
    t_ClearGraphic(win, BACKGROUND);
    Plot& plot = grover.plot;
    plot.win = win;
    plot.x = round_axis(0, static_cast<double>(std::max({iterations, optimum, int64_t{1}})),
                        MAX_TICKS, true);
    plot.x.low = 0;
    plot.y = round_axis(0, 1);
    heading(win, "Grover-Suche: Wahrscheinlichkeit der gesuchten Zahl");
    draw_frame(plot, "Iteration", "Wahrscheinlichkeit");
    const int64_t x = plot.px(static_cast<double>(optimum));
    t_DrawLine(win, x, plot.top, x, plot.bottom - 1, SECOND_MARK);
    const std::string text = "Optimum " + NumberText(optimum, ' ', 1, true);
    t_DrawLabel(win, std::max(plot.left + 2, x - t_LabelWidth(win, text) - 4), plot.top + 2,
                text, SECOND_MARK);
    grover.started = true;
    grover.last_x = -1;
}

void grover_picture_point(int64_t iteration, double probability)
{
    if (!grover.started)
        return;
    const Plot& plot = grover.plot;
    const int64_t x = plot.px(static_cast<double>(iteration));
    const int64_t y = plot.py(probability);
    if (grover.last_x >= 0)
        t_DrawLine(plot.win, grover.last_x, grover.last_y, x, y, DATA);
    dot(plot.win, x, y, MARK);
    grover.last_x = x;
    grover.last_y = y;
}

namespace {

Plot shor_plot(const ShorSpectrum& s)
{
    Plot plot;
    plot.win = SHOR_WINDOW;
    plot.x = round_axis(0, static_cast<double>(s.values), MAX_TICKS, true);
    plot.x.low = 0;
    plot.x.high = static_cast<double>(s.values);
    double top = 0;
    for (double b : s.bins)
        top = std::max(top, b);
    plot.y = round_axis(0, std::min(1.0, std::max(top, 0.01)));
    return plot;
}

} // namespace

void draw_shor_picture(const ShorSpectrum& s, int64_t measured)
{
    const uint8_t win = SHOR_WINDOW;
    if (!picture_window(win, "Shor") || s.bins.empty())
        return;
    t_ClearGraphic(win, BACKGROUND);
    const Plot plot = shor_plot(s);
    heading(win, "Shor: Register nach der Fourier-Transformation (2^q = " +
                     NumberText(s.values, ' ', 1, true) + ")");
    draw_frame(plot, "Wert", "Wahrscheinlichkeit");
    const double per_bin = static_cast<double>(s.values) / static_cast<double>(s.bins.size());
    // The measured value's bar is drawn in red.
    const bool has_measured = measured >= 0 && measured < s.values;
    const size_t measured_bin =
        has_measured ? bin_of(s, static_cast<uint64_t>(measured)) : s.bins.size();
    for (size_t i = 0; i < s.bins.size(); ++i) {
        if (s.bins[i] <= 0)
            continue;
        // A lone value keeps a bar 3 pixels wide, so a narrow peak stays visible.
        const int64_t x1 = plot.px(per_bin * static_cast<double>(i));
        const int64_t x2 = std::max(x1 + 2, plot.px(per_bin * static_cast<double>(i + 1)) - 1);
        t_FillRect(win, x1, plot.py(s.bins[i]), x2, plot.bottom - 1,
                   i == measured_bin ? MEASURED : DATA);
    }
    if (has_measured) {
        const int64_t x = plot.px(per_bin * static_cast<double>(measured_bin)) + 1;
        const std::string text = "gemessen " + NumberText(measured, ' ', 1, true);
        t_DrawLabel(win, std::min(x + 4, plot.right - t_LabelWidth(win, text)), plot.top + 2,
                    text, MEASURED);
    }
}

void mark_shor_period(const ShorSpectrum& s, int64_t period)
{
    const uint8_t win = SHOR_WINDOW;
    if (!window_table[win].Initialized || s.bins.empty() || period <= 0)
        return;
    const Plot plot = shor_plot(s);
    // Pass: a tick under the axis at every k * 2^q / r, so the peaks can be checked by eye;
    // ticks closer than a few pixels would only paint the axis yellow.
    const int64_t shown = period <= (plot.right - plot.left) / 4 ? period : 0;
    for (int64_t k = 0; k < shown; ++k) {
        const double value = static_cast<double>(k) * static_cast<double>(s.values) /
                             static_cast<double>(period);
        const int64_t x = plot.px(value) + 1;
        t_FillRect(win, x - 1, plot.bottom + 1, x + 1, plot.bottom + TICK + 1, MARK);
    }
    const std::string text = "Vielfache von 2^q / r, r = " + NumberText(period, ' ', 1, true);
    t_DrawLabel(win, plot.left, PICTURE_HEIGHT - t_LabelHeight(win) - 2, text, MARK);
}

void ising_picture_chain(int64_t length, double g_first, double g_last)
{
    if (ising.chains.empty() || length <= ising.chains.front().length) {
        ising.chains.clear();
        ising.g_first = g_first;
        ising.g_last = g_last;
    }
    ising.chains.push_back({length, {}});
}

void ising_picture_row(double g, double energy_per_site, double magnetisation,
                       double susceptibility)
{
    const uint8_t win = ISING_WINDOW;
    if (ising.chains.empty() || !picture_window(win, "Ising"))
        return;
    ising.chains.back().rows.push_back({g, {energy_per_site, magnetisation, susceptibility}});
    t_ClearGraphic(win, BACKGROUND);
    heading(win, "Ising-Kette: E_0/N, m und x gegen g, N = " +
                     NumberText(ising.chains.back().length, ' ', 1, true));

    // Pass: three panels one above the other, each scaled to all its points so far.
    const char* captions[3] = {"E_0/N", "m", "x"};
    // Tick labels stand centred on their grid lines: half a label above and below a panel.
    const int64_t panel_gap = t_LabelHeight(win) + 2;
    const int64_t panel_height = (PLOT_BOTTOM - PLOT_TOP - 2 * panel_gap) / 3;
    for (int panel = 0; panel < 3; ++panel) {
        double low = INFINITY;
        double high = -INFINITY;
        for (const IsingChain& chain : ising.chains)
            for (const IsingRow& row : chain.rows)
                if (std::isfinite(row.values[panel])) {
                    low = std::min(low, row.values[panel]);
                    high = std::max(high, row.values[panel]);
                }
        if (!std::isfinite(low)) {
            low = 0;
            high = 1;
        }
        Plot plot;
        plot.win = win;
        plot.top = PLOT_TOP + panel * (panel_height + panel_gap);
        plot.bottom = plot.top + panel_height;
        plot.x = round_axis(ising.g_first, ising.g_last);
        plot.y = round_axis(low, high, ISING_PANEL_TICKS);
        draw_frame(plot, panel == 2 ? "g" : "", "", panel == 2);
        if (panel != 2)
            for (int64_t k = 0; k <= tick_count(plot.x); ++k) {
                const int64_t x = plot.px(plot.x.low + static_cast<double>(k) * plot.x.step);
                t_DrawLine(win, x, plot.top, x, plot.bottom, GRID);
            }
        t_DrawLabel(win, plot.right - 60, plot.top + 2, captions[panel], TEXT);
        for (size_t c = 0; c < ising.chains.size(); ++c) {
            const bool current = c + 1 == ising.chains.size();
            const size_t age = ising.chains.size() - 1 - c;
            const uint8_t color = current ? DATA : FADED[(age - 1) % std::size(FADED)];
            int64_t last_x = -1;
            int64_t last_y = -1;
            for (const IsingRow& row : ising.chains[c].rows) {
                if (!std::isfinite(row.values[panel])) {
                    last_x = -1;
                    continue;
                }
                const int64_t x = plot.px(row.g);
                const int64_t y = plot.py(row.values[panel]);
                if (last_x >= 0)
                    t_DrawLine(win, last_x, last_y, x, y, color);
                if (current)
                    dot(win, x, y, MARK);
                last_x = x;
                last_y = y;
            }
            // The chain length at the end of its curve in the top panel.
            if (panel == 0 && last_x >= 0)
                t_DrawLabel(win, std::min(last_x + 4, plot.right - 40), last_y - t_LabelHeight(win),
                            "N=" + NumberText(ising.chains[c].length, ' ', 1, true), color);
        }
    }
}

} // namespace programs
