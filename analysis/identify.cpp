#include "analysis/identify.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/numfmt.h"
#include "control/params.h"

namespace thermo {

double fopdtResponse(const FopdtModel& m, double deltaPct, double t) {
    const double s = t - m.deadTime;
    if (s <= 0)
        return m.y0;
    return m.y0 + m.gain * deltaPct * (1.0 - std::exp(-s / m.tau));
}

double appliedPercent(double p) {
    return roundHalfEven(std::clamp(p * kPercentToCounts, 0.0, kFullPower)) / kPercentToCounts;
}

std::vector<double> secondsFromTimesOfDay(std::span<const double> tod, std::size_t origin) {
    std::vector<double> t;
    t.reserve(tod.size());
    double day = 0;
    for (std::size_t i = 0; i < tod.size(); ++i) {
        if (i > 0 && tod[i] < tod[i - 1] - 0.5)
            day += 1;
        t.push_back((tod[i] + day) * 86400.0);
    }
    const double t0 = origin < t.size() ? t[origin] : 0;
    for (double& v : t)
        v -= t0;
    return t;
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Gaussian elimination with partial pivoting on an n x n system, n <= 4.
// False when the matrix is singular.
bool solve(int n, double a[4][4], double b[4], double x[4]) {
    for (int c = 0; c < n; ++c) {
        int piv = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[piv][c]))
                piv = r;
        if (!(std::fabs(a[piv][c]) > 0))
            return false;
        if (piv != c) {
            for (int k = 0; k < n; ++k)
                std::swap(a[c][k], a[piv][k]);
            std::swap(b[c], b[piv]);
        }
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < n; ++k)
                a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k)
            s -= a[r][k] * x[k];
        x[r] = s / a[r][r];
    }
    return true;
}

struct Samples {
    std::span<const double> t, y;
};

// y0, A = K dP and ln tau for one dead time; ln tau keeps tau positive and
// makes the steps of the search scale-free.
struct Profile {
    double y0 = 0, a = 0, lnTau = 0;
    double sse = kInf;
};

double sumOfSquares(const Samples& d, double theta, const Profile& p) {
    const double rate = std::exp(-p.lnTau);
    double sse = 0;
    for (std::size_t i = 0; i < d.t.size(); ++i) {
        const double s = d.t[i] - theta;
        const double f = s > 0 ? p.y0 + p.a * (1.0 - std::exp(-s * rate)) : p.y0;
        const double r = d.y[i] - f;
        sse += r * r;
    }
    return sse;
}

// Levenberg-Marquardt on (y0, A, ln tau) for a fixed dead time. The model is
// linear in y0 and A, so from a warm start (the neighbouring dead time's
// optimum) it takes a few iterations.
Profile fitForDeadTime(const Samples& d, double theta, Profile p, double lnTauMin,
                       double lnTauMax) {
    p.sse = sumOfSquares(d, theta, p);
    double lambda = 1e-3;
    for (int iter = 0; iter < 60; ++iter) {
        double jtj[4][4] = {};
        double jtr[4] = {};
        const double tau = std::exp(p.lnTau);
        for (std::size_t i = 0; i < d.t.size(); ++i) {
            const double s = d.t[i] - theta;
            double g = 0, dl = 0;
            if (s > 0) {
                const double e = std::exp(-s / tau);
                g = 1.0 - e;
                dl = -p.a * e * s / tau; // d f / d ln tau
            }
            const double r = d.y[i] - (p.y0 + p.a * g);
            const double j[3] = {1.0, g, dl};
            for (int a = 0; a < 3; ++a) {
                jtr[a] += j[a] * r;
                for (int b = 0; b <= a; ++b)
                    jtj[a][b] += j[a] * j[b];
            }
        }
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < a; ++b)
                jtj[b][a] = jtj[a][b];

        bool improved = false;
        while (lambda < 1e12) {
            double m[4][4];
            double rhs[4];
            for (int a = 0; a < 3; ++a) {
                for (int b = 0; b < 3; ++b)
                    m[a][b] = jtj[a][b];
                m[a][a] += lambda * jtj[a][a] + 1e-300;
                rhs[a] = jtr[a];
            }
            double step[4] = {};
            if (solve(3, m, rhs, step)) {
                Profile c = p;
                c.y0 += step[0];
                c.a += step[1];
                c.lnTau = std::clamp(c.lnTau + step[2], lnTauMin, lnTauMax);
                c.sse = sumOfSquares(d, theta, c);
                if (c.sse < p.sse) {
                    const double gain = p.sse - c.sse;
                    p = c;
                    lambda = std::max(lambda * 0.1, 1e-12);
                    improved = gain > 1e-13 * (p.sse + 1e-30);
                    break;
                }
            }
            lambda *= 10;
        }
        if (!improved)
            break;
    }
    return p;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

// Two-sided 95 % quantile of Student's t with nu degrees of freedom, by the
// Cornish-Fisher expansion around the normal quantile (within 3 % from
// nu = 2 on, exact in the limit).
double studentT975(double nu) {
    const double z = 1.959963984540054;
    const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
    return z + (z3 + z) / (4 * nu) + (5 * z5 + 16 * z3 + 3 * z) / (96 * nu * nu) +
           (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * nu * nu * nu);
}

// The line through the level samples: how far it moves across them, and
// how far it could move by the readings' noise alone.
struct LevelLine {
    double seconds = 0, drift = 0, tolerance = kLevelFloor;
};

LevelLine levelLine(std::span<const double> t, std::span<const double> y) {
    const std::size_t n = t.size();
    LevelLine l;
    l.seconds = t[n - 1] - t[0];
    double mt = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mt += t[i];
        my += y[i];
    }
    mt /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxx += (t[i] - mt) * (t[i] - mt);
        sxy += (t[i] - mt) * (y[i] - my);
    }
    if (!(sxx > 0))
        return l; // every sample at one time: no line
    // The noise from second differences, which a steady drift leaves at 0,
    // by their median, which the bend of a response begun leaves alone: a
    // reading's independent noise of sigma gives a second difference of
    // sigma sqrt(6), whose median magnitude is 0.6745 of that.
    std::vector<double> bends;
    for (std::size_t i = 1; i + 1 < n; ++i)
        bends.push_back(std::fabs(y[i + 1] - 2 * y[i] + y[i - 1]));
    const double sigma = median(std::move(bends)) / (0.6745 * std::sqrt(6.0));
    l.drift = sxy / sxx * l.seconds;
    l.tolerance = std::max(kLevelSigmas * sigma * l.seconds / std::sqrt(sxx), kLevelFloor);
    return l;
}

} // namespace

FopdtFit fitStep(std::span<const double> t, std::span<const double> y, double deltaPct) {
    FopdtFit fit;
    const std::size_t n = std::min(t.size(), y.size());
    fit.samples = n;
    if (deltaPct == 0 || !std::isfinite(deltaPct)) {
        fit.refusal = FitRefusal::NoStep;
        return fit;
    }
    const Samples d{t.first(n), y.first(n)};
    const std::size_t firstAfter =
        static_cast<std::size_t>(std::upper_bound(d.t.begin(), d.t.end(), 0.0) - d.t.begin());
    const std::size_t after = n - firstAfter;
    if (n < kMinFitSamples || after < kMinFitSamples - 2) {
        fit.refusal = FitRefusal::TooShort;
        fit.observed = n ? std::max(0.0, d.t[n - 1]) : 0;
        fit.model.tau = kInf;
        return fit;
    }
    fit.levelSamples = firstAfter;
    if (firstAfter < kMinLevelSamples) {
        fit.refusal = FitRefusal::ShortLevel;
        return fit;
    }
    const LevelLine level = levelLine(d.t.first(firstAfter), d.y.first(firstAfter));
    fit.levelSeconds = level.seconds;
    fit.levelDrift = level.drift;
    fit.levelTolerance = level.tolerance;
    if (std::fabs(level.drift) > level.tolerance) {
        fit.refusal =
            level.drift * deltaPct > 0 ? FitRefusal::ResponseBegun : FitRefusal::NotSteady;
        return fit;
    }

    double before = 0;
    for (std::size_t i = 0; i < firstAfter; ++i)
        before += d.y[i];
    before /= static_cast<double>(firstAfter);
    const std::size_t tail = std::clamp<std::size_t>(after / 10, 1, 20);
    double end = 0;
    for (std::size_t i = n - tail; i < n; ++i)
        end += d.y[i];
    end /= static_cast<double>(tail);
    fit.change = end - before;
    if (std::fabs(fit.change) < kMinChange) {
        fit.refusal = FitRefusal::TooFlat;
        return fit;
    }
    if (fit.change * deltaPct < 0) {
        fit.refusal = FitRefusal::WrongDirection;
        return fit;
    }

    std::vector<double> steps;
    steps.reserve(n);
    for (std::size_t i = 1; i < n; ++i)
        if (d.t[i] > d.t[i - 1])
            steps.push_back(d.t[i] - d.t[i - 1]);
    const double tick = median(std::move(steps));
    const double last = d.t[n - 1];

    // The response reaches half its change at theta + 0.69 tau, so the dead
    // time lies before the first sample past the half; 63 % marks tau.
    double t50 = last, t63 = last;
    for (std::size_t i = firstAfter; i < n; ++i) {
        const double share = (d.y[i] - before) / fit.change;
        if (share >= 0.5 && t50 == last)
            t50 = d.t[i];
        if (share >= 0.632) {
            t63 = d.t[i];
            break;
        }
    }
    const double thetaMax = std::max(t50, tick);
    const double lnTauMin = std::log(tick * 1e-2);
    const double lnTauMax = std::log(std::max(last, tick) * 1e3);

    // A grid over the dead time at tick resolution (coarser for a long
    // record, at most 24 steps), then golden-section search below a tick
    // around the best point of the grid.
    const int steps24 = std::clamp(static_cast<int>(std::ceil(thetaMax / tick - 1e-9)), 1, 24);
    const double spacing = thetaMax / steps24;
    Profile start;
    start.y0 = before;
    start.a = fit.change;
    start.lnTau = std::clamp(std::log(std::max(t63, tick)), lnTauMin, lnTauMax);
    Profile best;
    double bestTheta = 0;
    Profile warm = start;
    for (int k = 0; k <= steps24; ++k) {
        const double theta = k * spacing;
        const Profile p = fitForDeadTime(d, theta, warm, lnTauMin, lnTauMax);
        warm = p;
        if (p.sse < best.sse) {
            best = p;
            bestTheta = theta;
        }
    }
    double lo = std::max(0.0, bestTheta - spacing);
    double hi = std::min(thetaMax, bestTheta + spacing);
    const double phi = (std::sqrt(5.0) - 1) / 2;
    auto at = [&](double theta) {
        const Profile p = fitForDeadTime(d, theta, best, lnTauMin, lnTauMax);
        if (p.sse < best.sse) {
            best = p;
            bestTheta = theta;
        }
        return p.sse;
    };
    double x1 = hi - phi * (hi - lo), x2 = lo + phi * (hi - lo);
    double f1 = at(x1), f2 = at(x2);
    while (hi - lo > 0.005 * tick) {
        if (f1 <= f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - phi * (hi - lo);
            f1 = at(x1);
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + phi * (hi - lo);
            f2 = at(x2);
        }
    }

    const double tau = std::exp(best.lnTau);
    fit.model = {best.a / deltaPct, tau, bestTheta, best.y0};
    fit.rms = std::sqrt(best.sse / static_cast<double>(n));
    fit.observed = last - bestTheta;

    // Covariance s^2 (J'J)^-1 from the Jacobian in y0, A, tau, theta.
    double jtj[4][4] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const double s = d.t[i] - bestTheta;
        double j[4] = {1.0, 0, 0, 0};
        if (s > 0) {
            const double e = std::exp(-s / tau);
            j[1] = 1.0 - e;
            j[2] = -best.a * e * s / (tau * tau);
            j[3] = -best.a * e / tau;
        }
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b)
                jtj[a][b] += j[a] * j[b];
    }
    const double dof = static_cast<double>(n - 4);
    const double s2 = best.sse / dof;
    const double q = studentT975(dof);
    double half[4];
    for (int c = 0; c < 4; ++c) {
        double m[4][4];
        double e[4] = {};
        double x[4] = {};
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b)
                m[a][b] = jtj[a][b];
        e[c] = 1.0;
        half[c] = solve(4, m, e, x) && x[c] >= 0 ? q * std::sqrt(s2 * x[c]) : kInf;
    }
    fit.y0Ci = half[0];
    fit.gainCi = half[1] / std::fabs(deltaPct);
    fit.tauCi = half[2];
    fit.deadTimeCi = half[3];

    if (fit.observed < kMinResponseTaus * tau)
        fit.refusal = FitRefusal::TooShort;
    else if (fit.rms > kMaxRmsShare * std::fabs(fit.change))
        fit.refusal = FitRefusal::PoorFit;
    return fit;
}

std::string fitRefusalText(const FopdtFit& fit, char sep) {
    auto num = [sep](double v) { return formatFixed(v, "0.##", sep); };
    switch (fit.refusal) {
    case FitRefusal::None:
        return {};
    case FitRefusal::NoStep:
        return "Ступенька мощности равна нулю: мощность до и после ступеньки одна и та же.";
    case FitRefusal::TooFlat:
        return "Отклик слишком мал: температура изменилась на " + num(fit.change) +
               " °C, нужно не меньше " + num(kMinChange) + " °C. Увеличьте ступеньку мощности.";
    case FitRefusal::WrongDirection:
        return "Температура изменилась против ступеньки мощности (на " + num(fit.change) +
               " °C): проверьте мощность до и после ступеньки и выбранный участок.";
    case FitRefusal::TooShort:
        if (!std::isfinite(fit.model.tau))
            return "Запись слишком коротка: после ступеньки нужно хотя бы " +
                   std::to_string(kMinFitSamples - 2) + " отсчёта.";
        return "Запись слишком коротка: от начала отклика прошло " + num(fit.observed) +
               " с, а нужно не меньше " + num(kMinResponseTaus) + " постоянных времени (" +
               num(kMinResponseTaus * fit.model.tau) + " с при τ ≈ " + num(fit.model.tau) +
               " с). Продлите опыт.";
    case FitRefusal::PoorFit:
        return "Модель плохо описывает отклик: среднеквадратичное отклонение " + num(fit.rms) +
               " °C больше " + num(kMaxRmsShare * 100) + " % изменения температуры (" +
               num(fit.change) +
               " °C). На выбранном участке мощность должна меняться только один раз.";
    case FitRefusal::ShortLevel:
        return "Перед ступенькой слишком мало отсчётов: " + std::to_string(fit.levelSamples) +
               ", а чтобы судить, установилась ли температура, нужно не меньше " +
               std::to_string(kMinLevelSamples) +
               " (такт переключения мощности и отсчёты до него). Выберите участок с отсчётами "
               "до ступеньки или увеличьте число тактов при P0.";
    case FitRefusal::NotSteady:
        return "Температура перед ступенькой не установилась: за " + num(fit.levelSeconds) +
               " с до ступеньки она изменилась на " + num(std::fabs(fit.levelDrift)) +
               " °C против ступеньки, а шум показаний объясняет не больше " +
               num(fit.levelTolerance) +
               " °C. Дайте температуре установиться при мощности до ступеньки (больше тактов "
               "при P0) или выберите другой участок.";
    case FitRefusal::ResponseBegun:
        return "Отклик начался раньше выбранного начала: за " + num(fit.levelSeconds) +
               " с до него температура уже изменилась на " + num(std::fabs(fit.levelDrift)) +
               " °C в сторону ступеньки, а шум показаний объясняет не больше " +
               num(fit.levelTolerance) +
               " °C. Начало участка — такт, на котором переключена мощность: выберите его "
               "раньше. Если мощность переключена именно там, температура ещё не установилась "
               "при P0: нужно больше тактов при P0.";
    }
    return {};
}

} // namespace thermo
