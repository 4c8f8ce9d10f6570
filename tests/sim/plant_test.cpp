// The plant model against the closed forms of first-order lags.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/plant.h"

using namespace thermo::sim;

TEST(ThermalPlant, StepResponseIsAFirstOrderLag) {
    PlantParams p;
    p.sensorTau = 0;
    p.start = 23.0;
    ThermalPlant plant(p);
    plant.setHeater(0, 1.0); // full power: 23 + 90 = 113 °C in the end
    // Uneven steps, to show the result does not depend on the step size.
    const double times[] = {0.5, 1.7, 60.0, 175.0, 400.0, 1000.0, 3000.0};
    for (double t : times) {
        plant.advanceTo(t);
        const double expected = 113.0 + (23.0 - 113.0) * std::exp(-t / 175.0);
        EXPECT_NEAR(plant.body(), expected, 1e-9) << "t=" << t;
        EXPECT_EQ(plant.sensor(), plant.body()) << "no sensor lag";
    }
    EXPECT_NEAR(plant.body(), 113.0, 0.001);
}

TEST(ThermalPlant, SensorLagFollowsTheCascadeClosedForm) {
    PlantParams p;
    p.tau = 100;
    p.sensorTau = 20;
    p.gainPerPercent = 0.5;
    p.ambient = p.start = 20;
    ThermalPlant plant(p);
    plant.setHeater(0, 0.5); // target 45 °C
    for (double t : {5.0, 50.0, 200.0}) {
        plant.advanceTo(t);
        // Two lags in series: 1 - (tau e^-t/tau - tauS e^-t/tauS) / (tau - tauS).
        const double shape = 1 - (100 * std::exp(-t / 100) - 20 * std::exp(-t / 20)) / 80;
        EXPECT_NEAR(plant.sensor(), 20 + 25 * shape, 1e-9) << "t=" << t;
        EXPECT_LT(plant.sensor(), plant.body());
    }
}

TEST(ThermalPlant, DeadTimeDelaysTheHeater) {
    PlantParams p;
    p.sensorTau = 0;
    p.deadTime = 30;
    ThermalPlant plant(p);
    plant.setHeater(10, 1.0);
    plant.advanceTo(39.9);
    EXPECT_EQ(plant.body(), 23.0) << "nothing before the dead time has passed";
    plant.advanceTo(40.0 + 175.0);
    EXPECT_NEAR(plant.body(), 113.0 - 90.0 * std::exp(-1.0), 1e-9);
    plant.setHeater(plant.time(), 0.0);
    plant.advanceTo(plant.time() + 29.0);
    EXPECT_GT(plant.heater(), 0.0) << "still heating during the dead time";
}

TEST(ThermalPlant, FullHeatCanPassTheAlarmLimit) {
    PlantParams p;
    p.gainPerPercent = 1.2;
    ThermalPlant plant(p);
    plant.setHeater(0, 1.0);
    plant.advanceTo(5 * 175.0);
    EXPECT_GT(plant.sensor(), 125.0);
}
