// The plan view's settings in the settings file, in a section of their own:
// whether it is open and which labels it shows.
#pragma once

inline constexpr char kPlanSection[] = "JVSPLANVIEW";

struct PlanSettingsRecord {
    bool Visible = false;
    // Label parts, as bits: 1 name, 2 code, 4 height.
    int Labels = 1;
};

// The saved settings, or the defaults where the file has none (values that
// are not ours count as none).
PlanSettingsRecord LoadPlanSettings();
// Rewrites the section; 0 or an error code (a view preference: the caller
// decides whether that is worth a word).
int SavePlanSettings(const PlanSettingsRecord& record);
