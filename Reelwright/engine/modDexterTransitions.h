#pragma once
// Transition names of modDexter: the one table of the 37 transition effects the suite offers by
// display name, and the lookup from a display name to the effect's class identifier.
//
// "None" is not a row: it is the value that means no transition. Every list that offers the
// names puts "None" first and then the rows in table order.
#include <array>
#include <string>

struct TransitionName {
  const char* DisplayName;
  const char* EffectClsid;  // written exactly as stored; the platform parses it without regard to case
};

// Kept in the header so that every list that shows the names (the tile control, the options
// window) can hold the same sequence without linking the main program's modules.
inline constexpr std::array<TransitionName, 37> TransitionNames = {{
    {"Barn", "{C3BDF740-0B58-11d2-A484-00C04F8EFB69}"},
    {"Blinds", "{00C429C0-0BA9-11d2-A484-00C04F8EFB69}"},
    {"BurnFilm", "{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"CenterCurls", "{AA0D4D0C-06A3-11D2-8F98-00C04FB92EB7}"},
    {"ColorFade", "{2A54C908-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Compositor", "{9A43A844-0831-11D1-817F-0000F87557DB}"},
    {"Curls", "{AA0D4D0E-06A3-11D2-8F98-00C04FB92EB7}"},
    {"Curtains", "{AA0D4D12-06A3-11D2-8F98-00C04FB92EB7}"},
    {"Fade", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"FadeWhite", "{107045CC-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"FlowMotion", "{2A54C90B-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"GlassBlock", "{2A54C913-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Grid", "{2A54C911-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Inset", "{93073C40-0BA5-11d2-A484-00C04F8EFB69}"},
    {"Iris", "{3F69F351-0379-11D2-A484-00C04F8EFB69}"},
    {"Jaws", "{2A54C904-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Lens", "{107045CA-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"LightWipe", "{107045C8-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"Liquid", "{AA0D4D0A-06A3-11D2-8F98-00C04FB92EB7}"},
    {"PageCurl", "{AA0D4D08-06A3-11D2-8F98-00C04FB92EB7}"},
    {"PeelABCD", "{AA0D4D10-06A3-11D2-8F98-00C04FB92EB7}"},
    {"Pixelate", "{4CCEA634-FBE0-11d1-906A-00C04FD9189D}"},
    {"RadialWipe", "{424B71AF-0695-11D2-A484-00C04F8EFB69}"},
    {"Ripple", "{AA0D4D03-06A3-11D2-8F98-00C04FB92EB7}"},
    {"RollDown", "{9C61F46E-0530-11D2-8F98-00C04FB92EB7}"},
    {"Slide", "{810E402F-056B-11D2-A484-00C04F8EFB69}"},
    {"SMPTE Wipe", "{dE75D012-7A65-11D2-8CEA-00A0C9441E20}"},
    {"Spiral", "{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}"},
    {"Stretch", "{7658F2A2-0A83-11d2-A484-00C04F8EFB69}"},
    {"Threshold", "{2A54C915-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Twister", "{107045CF-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"Vacuum", "{2A54C90D-07AA-11D2-8D6D-00C04F8EF8E0}"},
    {"Water", "{107045C5-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"Wheel", "{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}"},
    {"Wipe", "{AF279B30-86EB-11D1-81BF-0000F87557DB}"},
    {"WormHole", "{0E6AE022-0C83-11D2-8CD4-00104BC75D9A}"},
    {"Zigzag", "{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}"},
}};

// The effect class identifier text for a display name, compared without regard to letter case;
// the empty text for a language other than "EN-US" (any case), for "None", the empty name and
// any name that is not a row. Neither argument is changed; nothing is reported.
std::string GetTransitionCLSID(const std::string& name, const std::string& language);
