#pragma once
// The process-wide settings record and its store. The record is filled with its
// initial values at construction, loaded once at start-up and written back only
// when the options dialog is confirmed. Playback threads read the flags while
// the GUI thread may write them, so the 32-bit fields are atomics.
#include <atomic>
#include <cstdint>
#include <string>

namespace corvane {

struct AppSettings {
    std::string LangFile;                  // full path of the language file; GUI thread only
    std::atomic<int32_t> GpsCalib{1};      // "GPS calibration"
    std::atomic<int32_t> GpsOrbit{0};      // "Show orbit of GPS"
    std::atomic<int32_t> MapName{1};       // 0 = "BaiDu", 1 = "Google"
    std::atomic<int32_t> AssociateH264{0}; // kept in memory only, never stored
    std::atomic<int32_t> ShowMap{0};       // main window shows its map pane
    std::atomic<int32_t> Audio{1};         // sound is played; cleared when no output opens
    std::atomic<int32_t> HardDraw{1};      // carried through the options dialog

    AppSettings() = default;
    AppSettings(const AppSettings& other) { *this = other; }
    AppSettings& operator=(const AppSettings& other);
};

extern AppSettings g_AppSettings;

// Key inside the settings file, named as the recorder software always named it.
inline constexpr const char* kSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Corvane\\CorvanePlayer";

// $XDG_CONFIG_HOME/Corvane/CorvanePlayer.reg, ~/.config when XDG_CONFIG_HOME is unset.
std::string SettingsFilePath();

// Fills the record from the settings file. Returns false when the file or its
// key is missing (first run: language "Language/eng.lng" under the program
// folder, Google map, map pane hidden), true otherwise; values that are missing
// or of the wrong type take their fallbacks.
bool LoadSettings(AppSettings& settings, const std::string& file);
// Writes LangFile and the six stored 32-bit values into the file's key, keeping
// any other keys and values the file holds. False when the file could not be
// written (a read-only or full configuration folder); the file is then as it
// was, and the record in memory still holds the values.
bool SaveSettings(const AppSettings& settings, const std::string& file);

// The global record and the user's settings file.
inline bool LoadSettings() { return LoadSettings(g_AppSettings, SettingsFilePath()); }
inline bool SaveSettings() { return SaveSettings(g_AppSettings, SettingsFilePath()); }

}  // namespace corvane
