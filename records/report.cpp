#include "station/printf_text.h"
#include "records/report.h"
#include "records/text_escape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvex {
namespace {

constexpr const char* kPassColour = "#3a9e6b";
constexpr const char* kFailColour = "#e0564b";
constexpr const char* kInkColour = "#1f2933";
constexpr const char* kGridColour = "#e6e9ee";
constexpr const char* kMutedColour = "#7b8794";
// One colour per reason, the same in the Pareto chart and the failed boards' table.
constexpr std::array<const char*, kBurnEndCodes.size()> kReasonColours{
    "#9aa5b1", "#3a9e6b", "#e0564b", "#41a6a0", "#8b6cc2", "#b38bd6", "#a3826b", "#8a6f5a",
    "#f08a4b", "#d9a066", "#7d5ba6", "#4f7fbf", "#f2b33d", "#6c7a89", "#c0668a"};

const char* ColourOf(BurnEnd reason) { return kReasonColours[static_cast<std::size_t>(reason)]; }

std::string Format(const char* format, double value) { return PrintfText(format, value); }
std::string Num(double value) { return Format("%.1f", value); }
std::string Int(std::uint64_t value) { return std::to_string(value); }
std::string Seconds(std::uint64_t ms) { return Format("%.1f", static_cast<double>(ms) / 1000.0); }

// An axis from 0 to a round maximum in four or five steps.
struct Axis {
  double max = 1;
  double step = 1;
};
Axis NiceAxis(double largest) {
  if (largest <= 0) return {4, 1};
  const double magnitude = std::pow(10.0, std::floor(std::log10(largest / 4)));
  for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    const double step = factor * magnitude;
    if (step * 5 >= largest) return {std::ceil(largest / step) * step, step};
  }
  return {largest, largest / 4};
}

std::uint64_t Quantile(std::vector<std::uint64_t> sorted, double q) {
  if (sorted.empty()) return 0;
  std::sort(sorted.begin(), sorted.end());
  const auto index = static_cast<std::size_t>(std::ceil(q * static_cast<double>(sorted.size()))) ;
  return sorted[std::min(sorted.size() - 1, index == 0 ? 0 : index - 1)];
}

// Chart canvas: the plot area inside margins, with y gridlines and labels.
struct Frame {
  double width, height, left, right, top, bottom;
  double PlotWidth() const { return width - left - right; }
  double PlotHeight() const { return height - top - bottom; }
  double Y(double value, const Axis& axis) const { return top + PlotHeight() * (1 - value / axis.max); }
};

std::string SvgOpen(const Frame& f, std::string_view label) {
  return "<svg class=\"chart\" viewBox=\"0 0 " + Num(f.width) + " " + Num(f.height) +
         "\" role=\"img\" aria-label=\"" + HtmlEscape(label) + "\">";
}

std::string Text(double x, double y, std::string_view text, std::string_view anchor = "middle",
                 std::string_view extra = {}) {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + std::string(anchor) +
         "\"" + std::string(extra) + ">" + HtmlEscape(text) + "</text>";
}

std::string Rect(double x, double y, double w, double h, std::string_view fill,
                 std::string_view extra = {}) {
  return "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(std::max(w, 0.0)) +
         "\" height=\"" + Num(std::max(h, 0.0)) + "\" fill=\"" + std::string(fill) + "\"" +
         std::string(extra) + "/>";
}

std::string GridLines(const Frame& f, const Axis& axis, std::string_view suffix = {}) {
  std::string svg;
  for (double v = 0; v <= axis.max + axis.step / 2; v += axis.step) {
    const double y = f.Y(v, axis);
    svg += "<line x1=\"" + Num(f.left) + "\" x2=\"" + Num(f.width - f.right) + "\" y1=\"" + Num(y) +
           "\" y2=\"" + Num(y) + "\" stroke=\"" + kGridColour + "\"/>";
    svg += Text(f.left - 8, y + 4, Format("%g", v) + std::string(suffix), "end", " class=\"tick\"");
  }
  return svg;
}

std::string Tile(std::string_view metric, std::string_view label, std::string_view value,
                 std::string_view note, std::string_view tone = {}) {
  return "<div class=\"tile " + std::string(tone) + "\" data-metric=\"" + std::string(metric) +
         "\" data-value=\"" + HtmlEscape(value) + "\"><div class=\"label\">" + HtmlEscape(label) +
         "</div><div class=\"value\">" + HtmlEscape(value) + "</div><div class=\"note\">" + HtmlEscape(note) +
         "</div></div>";
}

std::string DayChart(const ReportData& data) {
  if (data.days.empty()) return "<p class=\"empty\">No boards in this period.</p>";
  const Frame f{1080, 300, 56, 16, 34, 44};
  bool weeks = false;
  const std::map<std::string, YieldCounts> bars = DayBars(data, weeks);
  std::size_t largest = 0;
  for (const auto& [day, counts] : bars) largest = std::max(largest, counts.Total());
  const Axis axis = NiceAxis(static_cast<double>(largest));
  std::string svg = SvgOpen(f, weeks ? "Boards and yield per week" : "Boards and yield per day") + GridLines(f, axis);
  const double slot = f.PlotWidth() / static_cast<double>(bars.size());
  const double bar = std::min(64.0, slot * 0.62);
  double x = f.left;
  for (const auto& [day, c] : bars) {
    const double middle = x + slot / 2;
    const double yPass = f.Y(static_cast<double>(c.passed), axis);
    const double yAll = f.Y(static_cast<double>(c.Total()), axis);
    svg += "<g class=\"" + std::string(weeks ? "week" : "day") + "\" data-day=\"" + day + "\" data-passed=\"" + Int(c.passed) +
           "\" data-failed=\"" + Int(c.failed) + "\" data-yield=\"" + Percent(c.Yield()) + "\">";
    svg += "<title>" + day + ": " + Int(c.passed) + " burned, " + Int(c.failed) + " failed</title>";
    svg += Rect(middle - bar / 2, yPass, bar, f.top + f.PlotHeight() - yPass, kPassColour, " rx=\"2\"");
    svg += Rect(middle - bar / 2, yAll, bar, yPass - yAll, kFailColour, " rx=\"2\"");
    svg += Text(middle, yAll - 8, Percent(c.Yield()) + "%", "middle", " class=\"value-label\"");
    svg += Text(middle, f.height - f.bottom + 18, day.substr(5), "middle", " class=\"tick\"");
    svg += "</g>";
    x += slot;
  }
  return svg + "</svg>";
}

std::string PortChart(const ReportData& data) {
  const Frame f{520, 300, 70, 70, 12, 12};
  const double row = f.PlotHeight() / static_cast<double>(kPortCount);
  double worst = 100;
  for (const YieldCounts& c : data.ports) {
    if (c.Total() > 0) worst = std::min(worst, c.Yield());
  }
  // The bars start below the worst port's yield so that the differences show.
  const double floor = std::max(0.0, std::floor((worst - 5) / 10) * 10);
  std::string svg = SvgOpen(f, "Yield per port");
  for (std::size_t port = 0; port < kPortCount; ++port) {
    const YieldCounts& c = data.ports[port];
    const double y = f.top + row * static_cast<double>(port);
    const double share = c.Total() == 0 ? 0 : (c.Yield() - floor) / (100 - floor);
    const bool weak = c.Total() > 0 && c.Yield() < data.all.Yield() - 2;
    svg += "<g class=\"port\" data-port=\"" + Int(port + 1) + "\" data-passed=\"" + Int(c.passed) +
           "\" data-failed=\"" + Int(c.failed) + "\" data-yield=\"" + Percent(c.Yield()) + "\">";
    svg += Text(f.left - 10, y + row / 2 + 4, "Port " + Int(port + 1), "end", " class=\"axis-label\"");
    svg += Rect(f.left, y + row * 0.18, f.PlotWidth(), row * 0.64, "#f0f2f5", " rx=\"4\"");
    svg += Rect(f.left, y + row * 0.18, f.PlotWidth() * share, row * 0.64, weak ? kFailColour : kPassColour,
                " rx=\"4\"");
    svg += Text(f.width - f.right + 8, y + row / 2 + 4, c.Total() == 0 ? "-" : Percent(c.Yield()) + "%",
                "start", " class=\"value-label\"");
    svg += Text(f.left + 8, y + row / 2 + 4, Int(c.passed) + " / " + Int(c.Total()), "start",
                " class=\"bar-label\"");
    svg += "</g>";
  }
  svg += Text(f.left, f.height - 1, "scale from " + Format("%g", floor) + "%", "start", " class=\"tick\"");
  return svg + "</svg>";
}

std::string ParetoChart(const ReportData& data) {
  const auto order = ParetoOrder(data);
  if (order.empty()) return "<p class=\"empty\">No failed boards.</p>";
  const Frame f{520, 300, 44, 44, 20, 78};
  const Axis axis = NiceAxis(static_cast<double>(order.front().second));
  std::string svg = SvgOpen(f, "Failure reasons, most frequent first") + GridLines(f, axis);
  const double slot = f.PlotWidth() / static_cast<double>(order.size());
  const double bar = std::min(48.0, slot * 0.66);
  std::size_t cumulative = 0;
  std::string line, dots;
  const Axis percent{100, 25};
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto [reason, count] = order[i];
    cumulative += count;
    const double share = 100.0 * static_cast<double>(cumulative) / static_cast<double>(data.all.failed);
    const double middle = f.left + slot * (static_cast<double>(i) + 0.5);
    const double y = f.Y(static_cast<double>(count), axis);
    const std::string code(BurnEndCode(reason));
    svg += "<g class=\"reason\" data-reason=\"" + code + "\" data-count=\"" + Int(count) +
           "\" data-cumulative=\"" + Percent(share) + "\"><title>" + HtmlEscape(BurnEndLabel(reason)) +
           "</title>";
    svg += Rect(middle - bar / 2, y, bar, f.top + f.PlotHeight() - y, ColourOf(reason), " rx=\"2\"");
    svg += Text(middle, y - 6, Int(count), "middle", " class=\"value-label\"");
    svg += "<text class=\"tick\" text-anchor=\"end\" transform=\"translate(" + Num(middle + 4) + " " +
           Num(f.height - f.bottom + 14) + ") rotate(-35)\">" + code + "</text></g>";
    const double py = f.Y(share, percent);
    line += (i == 0 ? "M" : " L") + Num(middle) + " " + Num(py);
    dots += "<circle cx=\"" + Num(middle) + "\" cy=\"" + Num(py) + "\" r=\"3.5\" fill=\"" + kInkColour + "\"/>";
  }
  const double y80 = f.Y(80, percent);
  svg += "<line x1=\"" + Num(f.left) + "\" x2=\"" + Num(f.width - f.right) + "\" y1=\"" + Num(y80) +
         "\" y2=\"" + Num(y80) + "\" stroke=\"" + kMutedColour + "\" stroke-dasharray=\"4 4\"/>";
  svg += Text(f.width - f.right + 6, y80 + 4, "80%", "start", " class=\"tick\"");
  svg += Text(f.width - f.right + 6, f.top + 4, "100%", "start", " class=\"tick\"");
  svg += "<path d=\"" + line + "\" fill=\"none\" stroke=\"" + kInkColour + "\" stroke-width=\"2\"/>" + dots;
  return svg + "</svg>";
}

std::string PartTable(const ReportData& data) {
  if (data.parts.empty()) return "<p class=\"empty\">No identified chips.</p>";
  double largest = 0;
  for (const auto& [part, s] : data.parts) {
    largest = std::max(largest, static_cast<double>(s.skippedBlocks) / static_cast<double>(s.boards));
  }
  std::string html = "<table class=\"parts\"><thead><tr><th>Chip part</th><th class=\"num\">Boards</th>"
                     "<th class=\"num\">Bad blocks</th><th>Per board</th><th class=\"num\">Worst</th>"
                     "</tr></thead><tbody>";
  for (const auto& [part, s] : data.parts) {
    const double average = static_cast<double>(s.skippedBlocks) / static_cast<double>(s.boards);
    const double width = largest > 0 ? 100 * average / largest : 0;
    html += "<tr data-part=\"" + HtmlEscape(part) + "\" data-boards=\"" + Int(s.boards) +
            "\" data-skipped=\"" + Int(s.skippedBlocks) + "\" data-worst=\"" + Int(s.worstBoard) +
            "\"><td>" + HtmlEscape(part) + "</td><td class=\"num\">" + Int(s.boards) +
            "</td><td class=\"num\">" + Int(s.skippedBlocks) +
            "</td><td class=\"per-board\"><div class=\"meter\"><span style=\"width:" + Num(width) + "%\"></span></div>" +
            Format("%.2f", average) + "</td><td class=\"num\">" + Int(s.worstBoard) + "</td></tr>";
  }
  return html + "</tbody></table>";
}

// Boards without a job share the row "(no job)".
std::string JobTable(const ReportData& data) {
  if (data.jobs.empty()) return "<p class=\"empty\">No boards in this period.</p>";
  std::string html = "<table class=\"jobs\"><thead><tr><th>Job</th><th class=\"num\">Boards</th>"
                     "<th class=\"num\">Burned</th><th class=\"num\">Failed</th><th class=\"num\">Yield</th>"
                     "</tr></thead><tbody>";
  for (const auto& [job, c] : data.jobs) {
    const std::string name = job.empty() ? "(no job)" : job;
    html += "<tr data-job=\"" + HtmlEscape(job) + "\" data-passed=\"" + Int(c.passed) + "\" data-failed=\"" +
            Int(c.failed) + "\" data-yield=\"" + Percent(c.Yield()) + "\"><td>" + HtmlEscape(name) +
            "</td><td class=\"num\">" + Int(c.Total()) + "</td><td class=\"num\">" + Int(c.passed) +
            "</td><td class=\"num\">" + Int(c.failed) + "</td><td class=\"num\">" + Percent(c.Yield()) +
            "%</td></tr>";
  }
  return html + "</tbody></table>";
}

std::string TimeChart(const ReportData& data) {
  const std::vector<HistogramBin> bins = BurnTimeHistogram(data.burnMs);
  if (bins.empty()) return "<p class=\"empty\">No burned boards.</p>";
  const Frame f{520, 300, 44, 12, 16, 44};
  std::size_t largest = 0;
  for (const HistogramBin& b : bins) largest = std::max(largest, b.count);
  const Axis axis = NiceAxis(static_cast<double>(largest));
  std::string svg = SvgOpen(f, "Burn time of burned boards") + GridLines(f, axis);
  const double slot = f.PlotWidth() / static_cast<double>(bins.size());
  for (std::size_t i = 0; i < bins.size(); ++i) {
    const HistogramBin& b = bins[i];
    const double x = f.left + slot * static_cast<double>(i);
    const double y = f.Y(static_cast<double>(b.count), axis);
    svg += "<g class=\"bin\" data-from-ms=\"" + Int(b.fromMs) + "\" data-to-ms=\"" + Int(b.toMs) +
           "\" data-count=\"" + Int(b.count) + "\"><title>" + Seconds(b.fromMs) + "-" +
           Seconds(b.toMs) + " s: " + Int(b.count) + "</title>";
    svg += Rect(x + 1, y, slot - 2, f.top + f.PlotHeight() - y, "#4f7fbf", " rx=\"1.5\"") + "</g>";
    if (i % std::max<std::size_t>(1, bins.size() / 6) == 0) {
      svg += Text(x, f.height - f.bottom + 16, Format("%g", static_cast<double>(b.fromMs) / 1000) + " s",
                  "middle", " class=\"tick\"");
    }
  }
  return svg + "</svg>";
}

std::string FailedTable(const ReportData& data) {
  if (data.failedBoards.empty()) return "<p class=\"empty\">No failed boards.</p>";
  std::string html = "<table class=\"failed\"><thead><tr><th>Started</th><th>Station</th>"
                     "<th class=\"num\">Port</th><th>Reason</th><th>What the operator saw</th>"
                     "<th>UID</th></tr></thead><tbody>";
  for (auto it = data.failedBoards.rbegin(); it != data.failedBoards.rend(); ++it) {
    const FailedBoard& b = *it;
    const std::string_view uid = std::string_view(b.uidText).substr(b.uidText.starts_with("nandUID: ") ? 9 : 0);
    html += "<tr data-failed-id=\"" + HtmlEscape(b.id) + "\" data-reason=\"" + std::string(BurnEndCode(b.reason)) +
            "\"><td class=\"mono\">" + HtmlEscape(b.start) + "</td><td>" + HtmlEscape(b.station) +
            "</td><td class=\"num\">" + Int(static_cast<std::uint64_t>(b.port)) +
            "</td><td><span class=\"badge\" style=\"background:" + ColourOf(b.reason) + "\">" +
            std::string(BurnEndCode(b.reason)) + "</span></td><td>" + HtmlEscape(b.message) +
            "</td><td class=\"mono\">" + HtmlEscape(uid.empty() ? "-" : uid) + "</td></tr>";
  }
  html += "</tbody></table>";
  if (data.failedNotListed > 0) {
    html += "<p class=\"note\" data-metric=\"failed-not-listed\" data-value=\"" + Int(data.failedNotListed) +
            "\">" + Int(data.failedNotListed) + " earlier failed boards are not listed.</p>";
  }
  return html;
}

std::string StationTable(const ReportData& data) {
  if (data.stations.empty()) return "<p class=\"empty\">No boards in this period.</p>";
  std::string html = "<table class=\"stations\"><thead><tr><th>Station</th><th class=\"num\">Boards</th>"
                     "<th class=\"num\">Yield</th>";
  for (std::size_t port = 1; port <= kPortCount; ++port) html += "<th class=\"num\">Port " + Int(port) + "</th>";
  html += "</tr></thead><tbody>";
  const auto yield = [](const YieldCounts& c) { return c.Total() == 0 ? std::string("-") : Percent(c.Yield()) + "%"; };
  for (const auto& [name, counts] : data.stations) {
    const YieldCounts& all = counts[kPortCount];
    html += "<tr data-station=\"" + HtmlEscape(name) + "\" data-boards=\"" + Int(all.Total()) + "\" data-yield=\"" +
            Percent(all.Yield()) + "\"><td>" + HtmlEscape(name) + "</td><td class=\"num\">" + Int(all.Total()) +
            "</td><td class=\"num\">" + yield(all) + "</td>";
    for (std::size_t port = 0; port < kPortCount; ++port) {
      html += "<td class=\"num\" data-port=\"" + Int(port + 1) + "\" data-boards=\"" + Int(counts[port].Total()) +
              "\">" + yield(counts[port]) + "</td>";
    }
    html += "</tr>";
  }
  return html + "</tbody></table>";
}

std::string DuplicateTable(const ReportData& data) {
  if (data.duplicates.empty()) return "<p class=\"empty\">No duplicate UIDs.</p>";
  std::string html = "<table class=\"duplicates\"><thead><tr><th>Started</th><th>Station</th>"
                     "<th class=\"num\">Port</th><th>UID</th><th>First burned as</th></tr></thead><tbody>";
  for (const FailedBoard& b : data.duplicates) {
    const std::string_view uid = std::string_view(b.uidText).substr(b.uidText.starts_with("nandUID: ") ? 9 : 0);
    html += "<tr data-duplicate-id=\"" + HtmlEscape(b.id) + "\" data-first-id=\"" + HtmlEscape(b.message) +
            "\"><td class=\"mono\">" + HtmlEscape(b.start) + "</td><td>" + HtmlEscape(b.station) + "</td><td class=\"num\">" +
            Int(static_cast<std::uint64_t>(b.port)) + "</td><td class=\"mono\">" + HtmlEscape(uid) +
            "</td><td class=\"mono\">" + HtmlEscape(b.message) + "</td></tr>";
  }
  return html + "</tbody></table>";
}

constexpr const char* kStyle = R"(
*{box-sizing:border-box}
body{margin:0;background:#f3f5f8;color:#1f2933;font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","DejaVu Sans",sans-serif}
header{background:linear-gradient(120deg,#17324d,#2c5d8a);color:#fff;padding:26px 40px 30px}
header h1{margin:0;font-size:26px;font-weight:600;letter-spacing:.2px}
header p{margin:6px 0 0;color:#c9d8e8}
main{max-width:1180px;margin:0 auto;padding:24px 32px 40px}
.tiles{display:grid;grid-template-columns:repeat(5,1fr);gap:14px;margin-top:-46px}
.tile{background:#fff;border-radius:10px;padding:14px 18px;box-shadow:0 2px 8px rgba(23,50,77,.10)}
.tile .label{color:#7b8794;font-size:12px;text-transform:uppercase;letter-spacing:.6px}
.tile .value{font-size:30px;font-weight:650;margin-top:2px}
.tile .note{color:#7b8794;font-size:12px}
.tile.good .value{color:#2f8a5b}.tile.bad .value{color:#c8443a}
.card{background:#fff;border-radius:12px;padding:18px 22px;margin-top:18px;box-shadow:0 1px 4px rgba(23,50,77,.08)}
.card h2{margin:0 0 10px;font-size:16px;font-weight:600}
.card h2 small{color:#7b8794;font-weight:400;margin-left:6px}
.row{display:grid;grid-template-columns:1fr 1fr;gap:18px}
.row .card{margin-top:18px}
svg.chart{width:100%;height:auto;display:block}
svg text{font-size:12px;fill:#3e4c59}
svg .tick{fill:#7b8794;font-size:11px}
svg .value-label{font-weight:600;fill:#1f2933}
svg .bar-label{fill:#fff;font-weight:600;font-size:11px}
svg .axis-label{font-weight:600}
table{border-collapse:collapse;width:100%;font-size:13px}
th{text-align:left;color:#52606d;font-weight:600;border-bottom:2px solid #e4e7eb;padding:6px 8px}
td{border-bottom:1px solid #eef1f4;padding:6px 8px;vertical-align:middle}
.num{text-align:right;font-variant-numeric:tabular-nums}
.mono{font-family:ui-monospace,"DejaVu Sans Mono",Consolas,monospace;font-size:12px;white-space:nowrap}
.badge{color:#fff;border-radius:10px;padding:2px 9px;font-size:12px;white-space:nowrap}
td.per-board{white-space:nowrap}
.meter{display:inline-block;width:90px;height:8px;background:#eef1f4;border-radius:4px;margin-right:8px;vertical-align:middle}
.meter span{display:block;height:8px;background:#f08a4b;border-radius:4px}
.legend{display:flex;gap:16px;color:#52606d;font-size:12px;margin-bottom:6px}
.legend i{display:inline-block;width:10px;height:10px;border-radius:2px;margin-right:5px;vertical-align:-1px}
.empty,.note{color:#7b8794}
footer{color:#9aa5b1;font-size:12px;text-align:center;margin-top:26px}
)";

// The headline figures, and a note of the demo records left out.
std::string TilesHtml(const ReportData& data) {
  const std::uint64_t median = Quantile(data.burnMs, 0.5), p95 = Quantile(data.burnMs, 0.95);
  std::string html = "<section class=\"tiles\">";
  html += Tile("boards", "Boards", Int(data.all.Total()), "claimed in the period");
  html += Tile("burned", "Burned", Int(data.all.passed), "reached the normal end", "good");
  html += Tile("failed", "Failed", Int(data.all.failed),
               data.duplicateUids > 0 ? Int(data.duplicateUids) + " duplicate UIDs" : "no duplicate UIDs", "bad");
  html += Tile("yield", "Yield", Percent(data.all.Yield()) + "%", "burned of all boards");
  html += Tile("median-burn", "Median burn", Seconds(median) + " s", "95% within " + Seconds(p95) + " s");
  html += "</section>";
  if (data.demoLeftOut > 0) {
    html += "<p class=\"note\" data-metric=\"demo-left-out\" data-value=\"" + Int(data.demoLeftOut) + "\">" +
            Int(data.demoLeftOut) + " demo records (station DEMO) are left out; report --demo counts them.</p>";
  }
  return html;
}

}  // namespace

double YieldCounts::Yield() const {
  return Total() == 0 ? 0 : 100.0 * static_cast<double>(passed) / static_cast<double>(Total());
}

std::string Percent(double value) { return Format("%.1f", value); }

void ReportData::Add(const BoardRecord& r, bool duplicateUid, std::string_view firstId) {
  // A board whose UID another board had first is no good board, whatever its burn.
  const bool passed = r.Passed() && !duplicateUid;
  const auto count = [passed](YieldCounts& c) { ++(passed ? c.passed : c.failed); };
  count(all);
  count(days[std::string(FormatRecordTime(r.start).View().substr(0, 10))]);
  auto& station = stations[std::string(r.station.View())];
  count(station[kPortCount]);
  if (r.port >= 1 && static_cast<std::size_t>(r.port) <= kPortCount) {
    count(ports[static_cast<std::size_t>(r.port - 1)]);
    count(station[static_cast<std::size_t>(r.port - 1)]);
  }
  if (duplicateUid) {
    ++duplicateUids;
    if (duplicates.size() < kMaxFailedRows) {
      duplicates.push_back({std::string(r.id.View()), std::string(FormatRecordTime(r.start).View().substr(0, 19)),
                            std::string(r.station.View()), std::string(r.uidText.View()), std::string(firstId),
                            r.port, r.reason});
      duplicates.back().start[10] = ' ';
    }
  }
  count(jobs[std::string(r.identity.job.View())]);
  if (r.chip.known && !r.chip.part.Empty()) {
    PartStats& part = parts[std::string(r.chip.part.View())];
    std::uint32_t skipped = 0;
    for (std::size_t i = 0; i < r.imageCount; ++i) skipped += r.images[i].blocksSkipped;
    ++part.boards;
    part.skippedBlocks += skipped;
    part.worstBoard = std::max(part.worstBoard, skipped);
  }
  if (passed) {
    burnMs.push_back(r.durationMs);
    return;
  }
  if (r.Passed()) return;  // a duplicate: its own table, no failure reason
  ++reasons[static_cast<std::size_t>(r.reason)];
  if (failedBoards.size() == kMaxFailedRows) {
    failedBoards.erase(failedBoards.begin());
    ++failedNotListed;
  }
  failedBoards.push_back({std::string(r.id.View()),
                          std::string(FormatRecordTime(r.start).View().substr(0, 19)),
                          std::string(r.station.View()), std::string(r.uidText.View()),
                          std::string(r.message.View()), r.port, r.reason});
  failedBoards.back().start[10] = ' ';
}

std::vector<HistogramBin> BurnTimeHistogram(std::vector<std::uint64_t> burnMs) {
  if (burnMs.empty()) return {};
  const auto [lowest, highest] = std::minmax_element(burnMs.begin(), burnMs.end());
  const std::uint64_t low = *lowest, high = *highest;
  // The finest round width that needs no more than 20 bins.
  std::uint64_t width = 0;
  for (const std::uint64_t ms : {100u, 200u, 500u, 1000u, 2000u, 5000u, 10000u, 15000u, 30000u, 60000u, 120000u,
                                 300000u, 600000u, 1800000u, 3600000u}) {
    width = ms;
    if (high / width - low / width + 1 <= 20) break;
  }
  const std::uint64_t first = low / width * width;
  std::vector<HistogramBin> bins(static_cast<std::size_t>((high - first) / width + 1));
  for (std::size_t i = 0; i < bins.size(); ++i) bins[i] = {first + i * width, first + (i + 1) * width, 0};
  for (const std::uint64_t ms : burnMs) ++bins[static_cast<std::size_t>((ms - first) / width)].count;
  return bins;
}

std::map<std::string, YieldCounts> DayBars(const ReportData& data, bool& weeks) {
  weeks = data.days.size() > 31;
  if (!weeks) return data.days;
  std::map<std::string, YieldCounts> bars;
  for (const auto& [day, counts] : data.days) {
    const auto time = ParseRecordTime(day + "T00:00:00.000");
    if (!time) continue;
    // Days since 1970-01-01 (a Thursday), back to that week's Monday, and to a date.
    const int y = time->year - (time->month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (time->month > 2 ? time->month - 3 : time->month + 9) + 2) / 5 + time->day - 1;
    long days = era * 146097L + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    days -= (days + 3) % 7;
    const long z = days + 719468, e = z / 146097, d = z - e * 146097;
    const long ye = (d - d / 1460 + d / 36524 - d / 146096) / 365, dy = d - (365 * ye + ye / 4 - ye / 100);
    const long mp = (5 * dy + 2) / 153, dd = dy - (153 * mp + 2) / 5 + 1, mm = mp < 10 ? mp + 3 : mp - 9;
    char monday[48];
    std::snprintf(monday, sizeof monday, "%04ld-%02ld-%02ld", ye + e * 400 + (mm <= 2), mm, dd);
    YieldCounts& bar = bars[monday];
    bar.passed += counts.passed, bar.failed += counts.failed;
  }
  return bars;
}

std::vector<std::pair<BurnEnd, std::size_t>> ParetoOrder(const ReportData& data) {
  std::vector<std::pair<BurnEnd, std::size_t>> order;
  for (std::size_t i = 0; i < data.reasons.size(); ++i) {
    if (data.reasons[i] > 0) order.emplace_back(static_cast<BurnEnd>(i), data.reasons[i]);
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return order;
}

std::string RenderReportHtml(const ReportData& data, std::string_view generatedAt) {
  const std::string period =
      data.days.empty() ? "no boards"
                        : data.days.begin()->first + " to " + data.days.rbegin()->first;
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                     "<title>Korvex line report</title><style>";
  html += kStyle;
  html += "</style></head><body><header><h1>Korvex line report</h1><p>" + HtmlEscape(period) + " &middot; " +
          HtmlEscape(data.source) + "</p></header><main>";
  html += TilesHtml(data);
  html += "<section class=\"card\"><h2>Yield per day<small>boards claimed each day</small></h2>"
          "<div class=\"legend\"><span><i style=\"background:" + std::string(kPassColour) +
          "\"></i>burned</span><span><i style=\"background:" + kFailColour +
          "\"></i>failed</span><span>labels: yield</span></div>" + DayChart(data) + "</section>";
  html += "<section class=\"card\"><h2>Yield per station<small>and per station and port</small></h2>" +
          StationTable(data) + "</section>";
  html += "<div class=\"row\"><section class=\"card\"><h2>Yield per port<small>burned / boards; red "
          "below the line's yield</small></h2>" + PortChart(data) + "</section>";
  html += "<section class=\"card\"><h2>Failure reasons<small>Pareto: most frequent first, line "
          "cumulative</small></h2>" + ParetoChart(data) + "</section></div>";
  html += "<section class=\"card\"><h2>Yield per job<small>the released job each board was burned "
          "by</small></h2>" + JobTable(data) + "</section>";
  html += "<div class=\"row\"><section class=\"card\"><h2>Bad blocks per chip part<small>blocks "
          "stepped over while writing</small></h2>" + PartTable(data) + "</section>";
  html += "<section class=\"card\"><h2>Burn time<small>burned boards, claim to reset</small></h2>" +
          TimeChart(data) + "</section></div>";
  html += "<section class=\"card\"><h2>Failed boards<small>latest first</small></h2>" + FailedTable(data) +
          "</section>";
  html += "<section class=\"card\"><h2>Duplicate UIDs<small>burned boards whose UID an earlier burn "
          "already had; not counted as burned</small></h2>" + DuplicateTable(data) + "</section>";
  html += "<footer>Generated by korvex on " + HtmlEscape(generatedAt) + "</footer></main></body></html>\n";
  return html;
}

}  // namespace korvex
