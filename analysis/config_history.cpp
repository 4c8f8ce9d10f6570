#include "analysis/config_history.h"

#include <span>

#include "analysis/identify.h"
#include "analysis/scorecard.h"
#include "common/numfmt.h"

namespace thermo {

namespace {

const char* onOff(bool on) {
    return on ? "вкл." : "выкл.";
}

void compareNumber(std::vector<std::string>& out, const char* name, double was, double is,
                   char sep) {
    if (was != is)
        out.push_back(std::string(name) + " " + formatGeneral(was, sep) + " → " +
                      formatGeneral(is, sep));
}

void compareSwitch(std::vector<std::string>& out, const char* name, bool was, bool is) {
    if (was != is)
        out.push_back(std::string(name) + " " + onOff(is));
}

std::vector<std::string> differences(const TConfigRecord& a, const TConfigRecord& b, char sep) {
    std::vector<std::string> out;
    const TControlParams &p = a.params, &q = b.params;
    compareNumber(out, "задание", a.Zadan, b.Zadan, sep);
    compareSwitch(out, "рег. 1", a.Fuzzy_on, b.Fuzzy_on);
    compareSwitch(out, "рег. 2", a.PID_on, b.PID_on);
    compareSwitch(out, "нагрев", a.Nagrev, b.Nagrev);
    const struct {
        const char* name;
        double TControlParams::*field;
    } numbers[] = {
        {"C0_1", &TControlParams::C0_1},           {"C1_1", &TControlParams::C1_1},
        {"C2_1", &TControlParams::C2_1},           {"C0_2", &TControlParams::C0_2},
        {"C1_2", &TControlParams::C1_2},           {"C2_2", &TControlParams::C2_2},
        {"otkl_left", &TControlParams::otkl_left}, {"otkl_right", &TControlParams::otkl_right},
        {"skor_left", &TControlParams::skor_left}, {"skor_right", &TControlParams::skor_right},
        {"otkl_A1", &TControlParams::otkl_A1},     {"otkl_B1", &TControlParams::otkl_B1},
        {"otkl_A2", &TControlParams::otkl_A2},     {"otkl_B2", &TControlParams::otkl_B2},
        {"otkl_C2", &TControlParams::otkl_C2},     {"otkl_A3", &TControlParams::otkl_A3},
        {"otkl_B3", &TControlParams::otkl_B3},     {"skor_A1", &TControlParams::skor_A1},
        {"skor_B1", &TControlParams::skor_B1},     {"skor_A2", &TControlParams::skor_A2},
        {"skor_B2", &TControlParams::skor_B2},     {"skor_C2", &TControlParams::skor_C2},
        {"skor_A3", &TControlParams::skor_A3},     {"skor_B3", &TControlParams::skor_B3},
    };
    for (const auto& n : numbers)
        compareNumber(out, n.name, p.*n.field, q.*n.field, sep);
    const struct {
        const char* name;
        bool TControlParams::*field;
    } switches[] = {
        {"П рег. 1", &TControlParams::prop_1},  {"И рег. 1", &TControlParams::integ_1},
        {"Д рег. 1", &TControlParams::diff_1},  {"П рег. 2", &TControlParams::prop_2},
        {"И рег. 2", &TControlParams::integ_2}, {"Д рег. 2", &TControlParams::diff_2},
    };
    for (const auto& s : switches)
        compareSwitch(out, s.name, p.*s.field, q.*s.field);
    for (std::size_t i = 0; i < 9; ++i) {
        const std::string k = std::to_string(i + 1);
        compareNumber(out, ("m" + k).c_str(), p.m[i], q.m[i], sep);
        compareNumber(out, ("vih_" + k).c_str(), p.vih[i], q.vih[i], sep);
    }
    compareNumber(out, "интервал, мс", a.Interval, b.Interval, sep);
    return out;
}

} // namespace

std::size_t actingPosition(std::uint16_t takt) {
    return takt > kRunChartOffset + 1 ? takt - kRunChartOffset : 1;
}

std::vector<ConfigChange> configHistory(const ArchiveReader& a, char sep) {
    std::vector<double> tod(a.SampleCount);
    for (std::size_t p = 1; p <= a.SampleCount; ++p)
        tod[p - 1] = a.Samples[p].Vremya;
    const std::vector<double> t = secondsFromTimesOfDay(tod, 0);
    std::vector<ConfigChange> out;
    for (std::size_t k = 1; k <= a.ConfigCount; ++k) {
        ConfigChange c;
        c.record = k;
        c.position = actingPosition(a.Configs[k].Takt);
        if (k > 1) {
            c.changes = differences(a.Configs[k - 1], a.Configs[k], sep);
            if (c.changes.empty())
                continue;
        }
        if (c.position <= a.SampleCount) {
            c.seconds = t[c.position - 1];
            c.timeOfDay = tod[c.position - 1];
        }
        out.push_back(std::move(c));
    }
    return out;
}

} // namespace thermo
