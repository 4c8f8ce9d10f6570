#include "sim/plant.h"

#include <algorithm>
#include <cmath>

namespace thermo::sim {

ThermalPlant::ThermalPlant(const PlantParams& p) : m_p(p), m_body(p.start), m_sensor(p.start) {}

void ThermalPlant::setHeater(double t, double u) {
    u = std::clamp(u, 0.0, 1.0);
    const double at = std::max(t, m_t) + m_p.deadTime;
    // A later command made earlier (a shorter dead time cannot occur, but a
    // clock step can) supersedes what was queued after it.
    while (!m_queue.empty() && m_queue.back().t >= at)
        m_queue.pop_back();
    m_queue.push_back({at, u});
}

void ThermalPlant::advanceTo(double t) {
    while (!m_queue.empty() && m_queue.front().t <= t) {
        step(m_queue.front().t - m_t);
        m_u = m_queue.front().u;
        m_queue.pop_front();
    }
    step(t - m_t);
}

void ThermalPlant::step(double h) {
    if (h <= 0)
        return;
    if (m_t < m_p.detachedAt && m_t + h > m_p.detachedAt) {
        // The sensor comes off within this step: up to then it follows the body.
        const double end = m_t + h;
        step(m_p.detachedAt - m_t);
        m_t = m_p.detachedAt;
        h = end - m_t;
    }
    const double target = m_p.ambient + m_p.gainPerPercent * 100.0 * m_u;
    const double b0 = m_body - target;
    const double eb = std::exp(-h / m_p.tau);
    m_body = target + b0 * eb;
    const double ts = m_p.sensorTau;
    if (m_t >= m_p.detachedAt) {
        m_sensor =
            ts <= 0 ? m_p.ambient : m_p.ambient + (m_sensor - m_p.ambient) * std::exp(-h / ts);
    } else if (ts <= 0) {
        m_sensor = m_body;
    } else {
        const double es = std::exp(-h / ts);
        const double s0 = m_sensor - target;
        // The sensor is a first-order lag driven by the body's exponential.
        double coupling;
        if (std::abs(ts - m_p.tau) < 1e-9 * m_p.tau)
            coupling = b0 * (h / m_p.tau) * eb;
        else
            coupling = b0 * m_p.tau / (m_p.tau - ts) * (eb - es);
        m_sensor = target + s0 * es + coupling;
    }
    m_t += h;
}

} // namespace thermo::sim
