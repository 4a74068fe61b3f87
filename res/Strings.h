#pragma once
// The program's own texts. Every space counts: the screens and the tests compare them byte for byte.

namespace res {

inline constexpr const char kAppTitle[] = "Vellum";
inline constexpr const char kSettingsOrganisation[] = "Local AppWizard-Generated Applications";
inline constexpr const char kCreateThreadFailed[] = "CreateThread failed.";

// Info screen.
inline constexpr const char kInfoTitle[] =
    "Serial  tablet  test  program  ( Version : 1.1 )  >>>>  F1 : Mode , F3 : Clear , F4 : Exit";
inline constexpr const char kSizeLabel[] = "Tablet Size :";
inline constexpr const char kResolutionFormat[] = "Resolution : %dLPI";
inline constexpr const char kPortFormat[] = "Installed on : COM%d";
inline constexpr const char kTransducerLabel[] = "TRANSDUCER:";
inline constexpr const char kButtonZero[] = "Button : 0";
inline constexpr const char kRangeReadout7[] =
    "Current  X:  %d            Current  Y:  %d            Pressed  Value:  512";
inline constexpr const char kRangeReadout5[] =
    "Current  X:  %d            Current  Y:  %d            Pressed  Value:  0";

// Readouts.
inline constexpr const char kButtonFormat[] = "Button : %d";
inline constexpr const char kValueLinePressed[] =
    "Current  X:  %d          Current  Y:  %d          Pressed  Value:  %d        ";
inline constexpr const char kValueLineOther[] =
    "Current  X:  %d          Current  Y:  %d          Pressed  Value:  0         ";
inline constexpr const char kStatusLinear[] =
    "        X = %d,        Y = %d,        P = 1,        Button = %d";
inline constexpr const char kStatusPressure[] =
    "        X = %d,        Y = %d,        P = %d,        Button = %d";

// Test-screen titles.
inline constexpr const char kTitleHead[] = "Tablet Size : ";
inline constexpr const char kTitleResolutionLabel[] = ",  Resolution : ";
inline constexpr const char kTitleResolutionFormat[] = "%dLPI";
inline constexpr const char kTitlePortLabel[] = ",  Installed on : ";
inline constexpr const char kTitlePortFormat[] = "COM%d";
inline constexpr const char kSuffixLinear[] =
    "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Linear";
inline constexpr const char kSuffixPressure[] =
    "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Pressur";
inline constexpr const char kSuffixShake[] = "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Shake";
inline constexpr const char kSuffixKeystroke[] =
    "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Keystroke";
inline constexpr const char kShakeFormat[] = "%d, %d";
inline constexpr const char kDigitFormat[] = "%d";

// Transducer selector items, in list order (index i is transducer i + 2).
inline constexpr const char* const kSelectorItems[3] = {"2-Button Stylus", "3-Button Stylus",
                                                         "4-Button Stylus"};

}  // namespace res
