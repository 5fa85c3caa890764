#include "FrmCrunchboxDecodeOptions.h"

#include "core/error.h"
#include "core/runtime_convert.h"
#include "forms/app.h"

FrmCrunchboxDecodeOptions::FrmCrunchboxDecodeOptions() : Form("FrmCrunchboxDecodeOptions") {
  On("Form_Load", [this] {
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() - Width());
  });
  On("AccessKey_KeyPress", [](int16_t& KeyAscii) {
    if (KeyAscii >= '0' && KeyAscii <= '9') return;
    KeyAscii = 0;
    Beep();
  });
  On("AccessKey_Change", [this] {
    const std::string text = AccessKey->Text();
    if (text.empty()) return;
    const bool ok = Step([&] {
      const int32_t value = CLng(Variant(text));
      if (g_CrunchboxDecodeOA) Check(g_CrunchboxDecodeOA->put_AccessKey(value));
    });
    if (ok) {
      accessKeyText_ = text;
      return;
    }
    // Beyond 32 bits: the box keeps its last valid text.
    Err().Clear();
    Beep();
    if (accessKeyText_ != text) AccessKey->Text(accessKeyText_);
  });
  On("AKEnabled_Click", [this] {
    if (g_CrunchboxDecodeOA) Check(g_CrunchboxDecodeOA->put_AccessKeyEnabled(AKEnabled->Value() == vbChecked ? -1 : 0));
  });
  auto slider = [this](Slider& s, Label& label, HRESULT (IV50DecodeOptions::*put)(int32_t)) {
    if (g_CrunchboxDecodeOA) Check((g_CrunchboxDecodeOA.Get()->*put)(s.Value() - 255));
    label.Caption(Percentage(s.Value()));
  };
  On("Brightness_Scroll", [this, slider] { slider(*Brightness, *BSet, &IV50DecodeOptions::put_Brightness); });
  On("Saturation_Scroll", [this, slider] { slider(*Saturation, *SSet, &IV50DecodeOptions::put_Saturation); });
  On("Contrast_Scroll", [this, slider] { slider(*Contrast, *CSet, &IV50DecodeOptions::put_Contrast); });
  On("Scalability_Click", [this] {
    if (g_CrunchboxDecodeOA) Check(g_CrunchboxDecodeOA->put_Scalability(Scalability->ListIndex()));
  });
  On("Default_Click", [this] {
    if (g_CrunchboxDecodeOA) {
      Check(g_CrunchboxDecodeOA->DefaultBegin());
      Check(g_CrunchboxDecodeOA->DefaultFinish());
    }
    InitForm();
  });
  On("Set_Click", [this] {
    if (g_CrunchboxDecodeOA) {
      Check(g_CrunchboxDecodeOA->ApplyBegin());
      Check(g_CrunchboxDecodeOA->ApplyFinish());
    }
    bok = true;
    g_CrunchboxDecodeOA = nullptr;
    Hide();
  });
}

std::string FrmCrunchboxDecodeOptions::Percentage(int32_t value) {
  return std::to_string(static_cast<int32_t>(value / 510.0 * 100)) + "%";
}

void FrmCrunchboxDecodeOptions::Design() {
  Caption("Crunchbox Decode Options");
  BorderStyle(vbFixedSingle);
  Size(5490, 4230);
  Size(5490 + (Width() - static_cast<int32_t>(ScaleWidth())), 4230 + (Height() - static_cast<int32_t>(ScaleHeight())));
  const Variant min(int32_t{0}), max(int32_t{510}), large(int32_t{5}), small(int32_t{1});
  Place({
      {"Label", "BrLabel", -1, "", 240, 360, 855, 255, "Brightness"},
      {"Slider", "Brightness", -1, "", 1440, 360, 2775, 255, "",
       {{"Min", min}, {"Max", max}, {"LargeChange", large}, {"SmallChange", small}}},
      {"Label", "BSet", -1, "", 4320, 360, 975, 255, "BSet"},
      {"Label", "SatLabel", -1, "", 240, 840, 855, 255, "Saturation"},
      {"Slider", "Saturation", -1, "", 1440, 840, 2775, 255, "",
       {{"Min", min}, {"Max", max}, {"LargeChange", large}, {"SmallChange", small}}},
      {"Label", "SSet", -1, "", 4320, 840, 855, 255, "SSet"},
      {"Label", "Label3", -1, "", 240, 1320, 735, 255, "Contrast"},
      {"Slider", "Contrast", -1, "", 1440, 1320, 2775, 255, "",
       {{"Min", min}, {"Max", max}, {"LargeChange", large}, {"SmallChange", small}}},
      {"Label", "CSet", -1, "", 4320, 1320, 855, 255, "CSet"},
      {"Label", "ScaLabel", -1, "", 240, 1920, 855, 255, "Scalability:"},
      {"ComboBox", "Scalability", -1, "", 240, 2160, 2415, 315, "", {{"Style", Variant(int16_t{2})}}},
      {"Frame", "AKFrame", -1, "", 3240, 2040, 2055, 1575, "Access Key"},
      {"CheckBox", "AKEnabled", -1, "AKFrame", 240, 360, 975, 255, "Enable"},
      {"Label", "KeyLabel", -1, "AKFrame", 240, 720, 495, 255, "Key:"},
      {"TextBox", "AccessKey", -1, "AKFrame", 240, 960, 1095, 285, "AccessKey"},
      {"CommandButton", "Default", -1, "", 165, 3735, 855, 375, "Default"},
      {"CommandButton", "Set", -1, "", 4395, 3735, 855, 375, "Apply"},
  });
  accessKeyText_ = "AccessKey";
}

void FrmCrunchboxDecodeOptions::InitForm() {
  // The controls write into the options object; without one they only show.
  if (!g_CrunchboxDecodeOA) return;
  int32_t value = 0;
  Check(g_CrunchboxDecodeOA->get_AccessKey(&value));
  AccessKey->Text(std::to_string(value));
  Check(g_CrunchboxDecodeOA->get_AccessKeyEnabled(&value));
  AKEnabled->Value(static_cast<int16_t>(value));
  Check(g_CrunchboxDecodeOA->get_Brightness(&value));
  Brightness->Value(value + 255);
  BSet->Caption(Percentage(Brightness->Value()));
  Check(g_CrunchboxDecodeOA->get_Contrast(&value));
  Contrast->Value(value + 255);
  CSet->Caption(Percentage(Contrast->Value()));
  Check(g_CrunchboxDecodeOA->get_Saturation(&value));
  Saturation->Value(value + 255);
  SSet->Caption(Percentage(Saturation->Value()));
  if (Scalability->ListCount() == 0) {
    Scalability->AddItem("Maintain Quality");
    Scalability->AddItem("On");
    Scalability->AddItem("Maintain FrameRate");
    Scalability->AddItem("Off");
  }
  Check(g_CrunchboxDecodeOA->get_Scalability(&value));
  Scalability->ListIndex(static_cast<int16_t>(value));
}
