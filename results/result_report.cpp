#include "results/result_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "sysinfo/result_formatter.h"

namespace {

// Colours of the app's palette where it has them (text, labels, card
// border, score, button blue), an orange for the multi-core bars.
constexpr const char* style = R"css(
:root {
  color-scheme: light dark;
  --bg: #ffffff; --fg: #000000; --muted: #808080; --card: #f4f4f4; --line: #a8a8a8;
  --score: #000080; --single: #4287f5; --multi: #e07b00; --ok: #1b7f37; --bad: #d32f2f;
  --nc-bg: #fff3d6; --nc-fg: #7a4d00;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #1e1e1e; --fg: #ffffff; --muted: #b3b3b3; --card: #333333; --line: #666666;
    --score: #6699ff; --single: #6699ff; --multi: #ffa040; --ok: #5fd07f; --bad: #ff6464;
    --nc-bg: #4a3a14; --nc-fg: #ffd98a;
  }
}
* { box-sizing: border-box; }
body { margin: 0; padding: 24px 32px; background: var(--bg); color: var(--fg);
  font: 14px/1.45 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", sans-serif; }
h1 { font-size: 24px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 0 0 12px; }
.meta { color: var(--muted); margin: 0 0 20px; }
section { background: var(--card); border: 1px solid var(--line); border-radius: 10px; padding: 16px 20px;
  margin: 0 0 20px; }
.chart svg { width: 100%; max-width: 900px; height: auto; display: block; }
.chart text { fill: var(--fg); font-size: 12px; }
.chart .value { fill: var(--muted); }
.chart .axis { stroke: var(--line); }
.bar-single { fill: var(--single); }
.bar-multi { fill: var(--multi); }
.bar.nc { fill-opacity: 0.35; stroke-dasharray: 3 2; stroke-width: 1; }
.bar-single.nc { stroke: var(--single); }
.bar-multi.nc { stroke: var(--multi); }
.legend { color: var(--muted); margin: 8px 0 0; }
.swatch { display: inline-block; width: 12px; height: 12px; border-radius: 2px; vertical-align: -1px;
  margin: 0 4px 0 12px; }
.swatch.single { background: var(--single); }
.swatch.multi { background: var(--multi); }
.table-wrap { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 6px 8px; border-bottom: 1px solid var(--line); vertical-align: top; }
th { color: var(--muted); font-weight: 600; white-space: nowrap; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; }
td.nw { white-space: nowrap; }
td.verdict { min-width: 13em; }
td.cpu { min-width: 11em; }
td.score { color: var(--score); font-weight: 600; }
.ok { color: var(--ok); }
.bad { color: var(--bad); }
.none { color: var(--muted); }
tr.nc td { background: var(--nc-bg); }
.tag { display: inline-block; margin-top: 2px; padding: 0 6px; border-radius: 4px; font-size: 11px;
  font-weight: 600; color: var(--nc-fg); border: 1px solid currentColor; white-space: nowrap; }
.small { display: block; color: var(--muted); font-size: 12px; font-weight: normal; }
footer { color: var(--muted); font-size: 12px; }
@media print {
  :root { color-scheme: light; --bg: #ffffff; --fg: #000000; --muted: #555555; --card: #ffffff;
    --line: #999999; --score: #000080; --single: #4287f5; --multi: #e07b00; --ok: #1b7f37; --bad: #c62828;
    --nc-bg: #fff3d6; --nc-fg: #7a4d00; }
  body { padding: 0; font-size: 10px; }
  th, td { padding: 4px 5px; }
  td.verdict { min-width: 9em; }
  td.cpu { min-width: 8em; }
  section { border: none; padding: 0; margin: 0 0 14px; }
  .table-wrap { overflow: visible; }
  tr, .chart { break-inside: avoid; }
  thead { display: table-header-group; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  @page { margin: 12mm; }
}
)css";

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// Bytes that are not UTF-8 (kernel texts may hold any) become U+FFFD, so
// the page stays valid.
std::string valid_utf8(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = n > 0 && i + n <= text.size();
        for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) >> 6) == 2;
        if (ok) {
            out.append(text, i, n);
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string html(const std::string& text) { return escape(valid_utf8(text)); }

std::string score_text(double score) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", score);
    return text;
}

bool scored(const ResultRecord* r) { return r != nullptr && r->mode != ResultMode::stress && r->success; }

bool same_path(const ResultRecord& r, const std::string& version, const ResultEngine& engine) {
    return r.version == version && r.engine.transform == engine.transform && r.engine.word_loops == engine.word_loops;
}

std::string machine_key(const ResultRecord& r) {
    if (!r.machine_id.empty()) return "id:" + r.machine_id;
    return "host:" + r.host_name + "\n" + r.system.cpu_model;
}

const ResultRecord* any_of(const ResultReportMachine& m) {
    for (const ResultRecord* r : {m.single, m.multi, m.stress}) {
        if (r != nullptr) return r;
    }
    return nullptr;
}

const ResultRecord* newest_of(const ResultReportMachine& m) {
    const ResultRecord* newest = nullptr;
    for (const ResultRecord* r : {m.single, m.multi, m.stress}) {
        if (r != nullptr && (newest == nullptr || r->started_at > newest->started_at)) newest = r;
    }
    return newest;
}

double sort_score(const ResultRecord* r) { return scored(r) ? r->score : -1.0; }

std::string not_comparable_reason(const ResultRecord& r, const ResultReportPlan& plan) {
    ResultRecord reference = r;
    reference.version = plan.version;
    reference.engine = plan.engine;
    std::vector<std::string> reasons;
    result_comparable(r, reference, &reasons);
    std::string text;
    for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
    return "Not comparable: " + text;
}

std::string score_cell(const ResultRecord* r, const ResultReportPlan& plan, const char* kind) {
    if (r == nullptr) return "<td class=\"num none\">&#8211;</td>";
    if (!r->success) {
        return "<td class=\"num bad\" title=\"" + html(r->error_message) + "\">failed<span class=\"small\">" +
               html(r->error_message) + "</span></td>";
    }
    std::string cell = "<td class=\"num score\" data-kind=\"" + std::string(kind) + "\"";
    if (!same_path(*r, plan.version, plan.engine)) cell += " title=\"" + html(not_comparable_reason(*r, plan)) + "\"";
    cell += ">" + score_text(r->score);
    if (r->mode == ResultMode::multi) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%zu CPUs, scaling %.2f", r->workers.size(), r->multi.scaling);
        cell += "<span class=\"small\">" + std::string(detail) + "</span>";
    }
    return cell + "</td>";
}

std::string stability_cell(const ResultRecord* r) {
    if (r == nullptr) return "<td class=\"none\">&#8211;</td>";
    const bool pass = r->success;
    return std::string("<td class=\"verdict ") + (pass ? "ok" : "bad") + "\">" + html(result_verdict(*r)) + "</td>";
}

// Horizontal bars, two per machine on one scale: a multi-core score reads
// as W single cores.
std::string chart(const ResultReportPlan& plan) {
    double top = 0;
    size_t bars = 0;
    for (const ResultReportMachine& m : plan.machines) {
        for (const ResultRecord* r : {m.single, m.multi}) {
            if (scored(r)) {
                top = std::max(top, r->score);
                ++bars;
            }
        }
    }
    if (bars == 0) return "<p class=\"none\">No single- or multi-core scores to chart.</p>";
    const int label_width = 230, bar_left = 240, bar_span = 560, width = 880;
    const int bar_height = 14, gap = 4, machine_gap = 14;
    int y = 8;
    std::string body;
    for (const ResultReportMachine& m : plan.machines) {
        const ResultRecord* any = any_of(m);
        const bool has_single = scored(m.single), has_multi = scored(m.multi);
        if (!has_single && !has_multi) continue;
        std::string label = any->host_name.empty() ? any->system.cpu_model : any->host_name;
        if (label.size() > 34) label = label.substr(0, 33) + "\xE2\x80\xA6";
        const int rows = (has_single ? 1 : 0) + (has_multi ? 1 : 0);
        const int block = rows * bar_height + (rows - 1) * gap;
        body += "<text x=\"" + std::to_string(label_width) + "\" y=\"" + std::to_string(y + block / 2 + 4) +
                "\" text-anchor=\"end\">" + html(label) + "</text>\n";
        for (const ResultRecord* r : {m.single, m.multi}) {
            if (!scored(r)) continue;
            const bool multi = r->mode == ResultMode::multi;
            const bool nc = !same_path(*r, plan.version, plan.engine);
            const int w = std::max(1, static_cast<int>(r->score / top * bar_span + 0.5));
            body += "<rect class=\"bar " + std::string(multi ? "bar-multi" : "bar-single") + (nc ? " nc" : "") +
                    "\" x=\"" + std::to_string(bar_left) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                    std::to_string(w) + "\" height=\"" + std::to_string(bar_height) + "\" rx=\"2\"><title>" +
                    html(label) + (multi ? " multi-core " : " single-core ") + score_text(r->score) +
                    (nc ? " (not comparable)" : "") + "</title></rect>";
            body += "<text class=\"value\" x=\"" + std::to_string(bar_left + w + 6) + "\" y=\"" +
                    std::to_string(y + bar_height - 3) + "\">" + score_text(r->score) + (nc ? " *" : "") +
                    "</text>\n";
            y += bar_height + gap;
        }
        y += machine_gap - gap;
    }
    const int height = y;
    return "<svg viewBox=\"0 0 " + std::to_string(width) + " " +
           std::to_string(height) + "\" role=\"img\" aria-label=\"Single- and multi-core scores\">\n" +
           "<line class=\"axis\" x1=\"" + std::to_string(bar_left) + "\" y1=\"0\" x2=\"" + std::to_string(bar_left) +
           "\" y2=\"" + std::to_string(height) + "\"/>\n" + body + "</svg>";
}

}  // namespace

ResultReportPlan result_report_plan(const std::vector<ResultRecord>& results) {
    ResultReportPlan plan;
    std::map<std::string, size_t> index;
    std::set<std::string> seen;
    for (const ResultRecord& r : results) {
        if (!seen.insert(r.result_id).second) continue;
        ++plan.results;
        const auto [it, fresh] = index.emplace(machine_key(r), plan.machines.size());
        if (fresh) plan.machines.emplace_back();
        ResultReportMachine& m = plan.machines[it->second];
        ++m.results;
        const ResultRecord** slot = r.mode == ResultMode::single ? &m.single : r.mode == ResultMode::multi ? &m.multi : &m.stress;
        if (*slot == nullptr || r.started_at >= (*slot)->started_at) *slot = &r;
    }
    std::stable_sort(plan.machines.begin(), plan.machines.end(),
                     [](const ResultReportMachine& x, const ResultReportMachine& y) {
                         const auto key = [](const ResultReportMachine& m) {
                             return std::make_tuple(-sort_score(m.single), -sort_score(m.multi), any_of(m)->host_name);
                         };
                         return key(x) < key(y);
                     });
    // The version and engine path most scores share; ties go to the top machine's.
    std::map<std::tuple<std::string, std::string, std::string>, int> votes;
    std::tuple<std::string, std::string, std::string> best;
    int best_votes = 0;
    for (const ResultReportMachine& m : plan.machines) {
        for (const ResultRecord* r : {m.single, m.multi}) {
            if (!scored(r)) continue;
            const auto key = std::make_tuple(r->version, r->engine.transform, r->engine.word_loops);
            if (++votes[key] > best_votes) {
                best_votes = votes[key];
                best = key;
            }
        }
    }
    plan.version = std::get<0>(best);
    plan.engine.transform = std::get<1>(best);
    plan.engine.word_loops = std::get<2>(best);
    for (ResultReportMachine& m : plan.machines) {
        for (const ResultRecord* r : {m.single, m.multi}) {
            if (scored(r) && !same_path(*r, plan.version, plan.engine)) m.comparable = false;
        }
    }
    return plan;
}

std::string result_report_html(const std::vector<ResultRecord>& results, const ResultReportOptions& options) {
    const ResultReportPlan plan = result_report_plan(results);
    const std::string generated = options.generated_at.empty() ? result_utc_now() : options.generated_at;
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    out += "<meta name=\"color-scheme\" content=\"light dark\">\n";
    out += "<title>" + html(options.title) + "</title>\n<style>" + style + "</style>\n</head>\n<body>\n";
    out += "<header>\n<h1>" + html(options.title) + "</h1>\n<p class=\"meta\">";
    out += std::to_string(plan.machines.size()) + (plan.machines.size() == 1 ? " machine, " : " machines, ") +
           std::to_string(plan.results) + (plan.results == 1 ? " result" : " results") + ". Generated " +
           html(generated) + ".";
    if (!plan.version.empty()) {
        out += " Scores compared at version <b id=\"ref-version\">" + html(plan.version) +
               "</b>, engine path <b id=\"ref-engine\">" + html(result_engine_text(plan.engine)) + "</b>.";
    }
    out += "</p>\n</header>\n";

    out += "<section class=\"chart\">\n<h2>Scores</h2>\n" + chart(plan) + "\n";
    out += "<p class=\"legend\"><span class=\"swatch single\"></span>single-core"
           "<span class=\"swatch multi\"></span>multi-core (reads as that many single cores)"
           " &#8212; pale bars marked * are not comparable</p>\n</section>\n";

    out += "<section>\n<h2>Machines</h2>\n<div class=\"table-wrap\">\n<table id=\"machines\">\n<thead><tr>";
    for (const char* head : {"#", "Host", "CPU", "Cores", "Memory", "OS", "Architecture", "Version", "Engine"}) {
        out += std::string("<th>") + head + "</th>";
    }
    out += "<th class=\"num\">Single-core</th><th class=\"num\">Multi-core</th><th>Stability</th>"
           "<th>Date (UTC)</th></tr></thead>\n<tbody>\n";
    int rank = 0;
    for (const ResultReportMachine& m : plan.machines) {
        const ResultRecord& facts = *newest_of(m);
        const SystemInfo info = result_machine_to_system_info(facts.system);
        out += "<tr class=\"machine" + std::string(m.comparable ? "" : " nc") + "\" data-host=\"" +
               html(facts.host_name) + "\" data-single=\"" + (scored(m.single) ? score_text(m.single->score) : "") +
               "\" data-multi=\"" + (scored(m.multi) ? score_text(m.multi->score) : "") + "\" data-stability=\"" +
               (m.stress == nullptr ? "none" : m.stress->success ? "pass" : "fail") + "\" data-comparable=\"" +
               (m.comparable ? "true" : "false") + "\">";
        out += "<td class=\"num\">" + std::to_string(++rank) + "</td>";
        out += "<td class=\"nw\">" + html(facts.host_name);
        if (!m.comparable) out += "<br><span class=\"tag\">not comparable</span>";
        out += "</td>";
        out += "<td class=\"cpu\">" + html(ResultFormatter::formatCPU(info)) + "</td>";
        std::string cores = html(ResultFormatter::formatCores(info));
        if (const auto frequency = ResultFormatter::formatFrequency(info)) cores += "<br>" + html(*frequency);
        out += "<td class=\"nw\">" + cores + "</td>";
        out += "<td class=\"nw\">" + html(ResultFormatter::formatMemory(info)) + "</td>";
        out += "<td>" + html(ResultFormatter::formatOS(info)) + "</td>";
        out += "<td class=\"nw\">" + html(ResultFormatter::formatArchitecture(info)) + "</td>";
        out += "<td class=\"nw\">" + html(facts.version) + "</td>";
        out += "<td class=\"nw\">" + html(result_engine_text(facts.engine)) + "</td>";
        out += score_cell(m.single, plan, "single") + score_cell(m.multi, plan, "multi") + stability_cell(m.stress);
        std::string date = facts.started_at;
        if (date.size() >= 16) date = date.substr(0, 10) + " " + date.substr(11, 5);
        out += "<td class=\"nw\">" + html(date) + "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n</div>\n</section>\n";
    out += "<footer><p>Single-core: the mean score of a series of runs on one core. Multi-core: every selected CPU "
           "at once, on the same scale (perfect scaling gives the CPU count times the single-core score). "
           "Stability: verified runs back to back on every CPU. Every run proves its digits of pi. Scores compare "
           "only at the same program version and engine path; rows marked <span class=\"tag\">not "
           "comparable</span> differ from the path above. Each machine shows its newest result of each kind.</p>"
           "<p>Made by numera-cli report.</p></footer>\n";
    out += "</body>\n</html>\n";
    return out;
}
