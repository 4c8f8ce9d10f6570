#pragma once
// The thermal plant of the simulated stand: a lumped heater-and-body with one
// time constant, the sensor's own lag behind the body, and an optional dead
// time between the heater command and its effect. Times are plant seconds.
//
//   body:   tau  * dTb/dt = ambient + gain * 100 * u(t - deadTime) - Tb
//   sensor: tauS * dTs/dt = Tb - Ts                  (Ts = Tb when tauS = 0)
//
// u is the heater's share of full power, 0..1 (heater byte / 234). The
// defaults follow the figures published for a common teaching heater plant:
// about 0.9 °C per percent of power and a time constant near 175 s.

#include <deque>
#include <limits>

namespace thermo::sim {

struct PlantParams {
    double ambient = 23.0;       // °C
    double gainPerPercent = 0.9; // °C of steady-state rise per percent of power
    double tau = 175.0;          // s, heater and body
    double sensorTau = 10.0;     // s, sensor behind the body; 0 = none
    double deadTime = 0.0;       // s
    double start = 23.0;         // °C, body and sensor at time 0
    // From this plant time on (s) the sensor is off the body and hangs in the
    // room: it follows the ambient (with its own lag) while the body heats.
    // 0: off from the start; infinity: never.
    double detachedAt = std::numeric_limits<double>::infinity();
};

class ThermalPlant {
public:
    explicit ThermalPlant(const PlantParams& p);

    // The heater command u (0..1) from plant time t on; t before the present
    // is taken as the present.
    void setHeater(double t, double u);
    // Integrates up to plant time t (exactly, for piecewise-constant input).
    void advanceTo(double t);

    [[nodiscard]] double time() const { return m_t; }
    [[nodiscard]] double body() const { return m_body; }
    [[nodiscard]] double sensor() const { return m_sensor; }
    [[nodiscard]] double heater() const { return m_u; } // acting on the body now
    [[nodiscard]] const PlantParams& params() const { return m_p; }

private:
    void step(double h);
    PlantParams m_p;
    double m_t = 0;
    double m_body;
    double m_sensor;
    double m_u = 0;
    struct Change {
        double t; // when it reaches the body
        double u;
    };
    std::deque<Change> m_queue;
};

} // namespace thermo::sim
