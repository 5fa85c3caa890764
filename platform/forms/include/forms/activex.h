#pragma once
// Hosting ActiveX controls on forms. A control-table row whose type is no control type of the
// forms runtime names a ProgID: the form creates that class through the registry and hosts it in
// an `ActiveXHost`, which is the control's site on the form (see docs/ARCHITECTURE.md, "Hosting
// ActiveX controls").
#include <cstdint>
#include <memory>
#include <string>

#include "com/olecontrol.h"
#include "forms/control.h"

class Form;

// The extender's own members, at their dispatch identifiers.
enum ExtenderDispId : DISPID {
  kExtName = static_cast<DISPID>(0x80010000),
  kExtIndex = static_cast<DISPID>(0x80010001),
  kExtTag = static_cast<DISPID>(0x80010002),
  kExtLeft = static_cast<DISPID>(0x80010003),
  kExtTop = static_cast<DISPID>(0x80010004),
  kExtWidth = static_cast<DISPID>(0x80010005),
  kExtHeight = static_cast<DISPID>(0x80010006),
  kExtVisible = static_cast<DISPID>(0x80010007),
  kExtTabIndex = static_cast<DISPID>(0x80010009),
  kExtToolTipText = static_cast<DISPID>(0x8001000A),
  kExtContainer = static_cast<DISPID>(0x8001000B),
  kExtDragMode = static_cast<DISPID>(0x8001000C),
  kExtDrag = static_cast<DISPID>(0x8001000D),
  kExtZOrder = static_cast<DISPID>(0x8001000E),
};

class ActiveXHost : public Control {
 public:
  // Creates the class the site's type names (a ProgID or "{CLSID}"); raises 429 naming the class
  // and the reason when it cannot be created. A site with a control-table row loads the control
  // from the row's property bag (its properties other than the extender's); one without a row
  // initialises a new instance.
  explicit ActiveXHost(const ControlSite& site);
  ~ActiveXHost() override;

  // The extender: the host's members above, everything else forwarded to the control.
  IDispatch* DispatchObject() const override;
  // The control's own object and its IDispatch.
  ComPtr<IUnknown> Object() const;
  ComPtr<IDispatch> ObjectDispatch() const;
  DWORD MiscStatus() const;
  // Asks the control to write its properties (IPersistPropertyBag::Save, else the stream) and
  // answers what it wrote.
  PropertyList SaveProperties();

  bool Visible() const override;
  void Visible(bool v) override;
  // Extender properties by name, the rest by name on the control (late bound).
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The ambient UserMode a form's hosted controls see: True (run mode) unless a test sets the form
// up as a designer. Takes effect for controls created afterwards and is announced to the loaded
// ones (IOleControl::OnAmbientPropertyChange).
void SetAmbientUserMode(Form& form, bool userMode);
bool AmbientUserMode(Form& form);

// The user's locale (the application's default locale) as a Windows locale identifier, the
// ambient LocaleID: language and territory mapped for the common locales, a language alone to its
// primary locale, anything else (and the C locale) to 0x0409.
int32_t UserLocaleID();
