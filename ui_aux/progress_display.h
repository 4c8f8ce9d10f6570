#pragma once
// What a long operation (a spreadsheet export) reports its progress to,
// without knowing about windows: the progress window in the program, a
// recorder in tests, nothing in a headless run.

namespace thermo {

class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void begin() = 0;                  // shown, at 0 %
    virtual void setProgress(int percent) = 0; // 0..100; more shows full
    virtual void end() = 0;                    // hidden
};

} // namespace thermo
