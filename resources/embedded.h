#pragma once
// The files the executables carry inside them, made by the generators in
// this folder and embedded at build time. Plain bytes, so the Qt-free sound
// player and the command-line tool can use them too.

#include <span>

namespace thermo::resources {

// The alarm sound "WARNING": RIFF WAVE, 8-bit mono PCM, 11025 samples/s.
std::span<const unsigned char> warningSound();

// The scheme window's block diagram of the control loop: a 960 x 720 JPEG.
std::span<const unsigned char> schemePicture();

// The program icon: a 256 x 256 PNG.
std::span<const unsigned char> programIcon();

} // namespace thermo::resources
