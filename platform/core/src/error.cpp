#include "core/error.h"

#include <map>
#include <typeinfo>

VBError::VBError(int32_t number, std::string description, std::string source)
    : number_(number),
      description_(description.empty() ? ErrorDescription(number) : std::move(description)),
      source_(std::move(source)) {
  what_ = "error " + std::to_string(number_) + ": " + description_;
}

std::string ErrorDescription(int32_t number) {
  static const std::map<int32_t, const char*> texts = {
      {3, "Return without GoSub"},
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {7, "Out of memory"},
      {9, "Subscript out of range"},
      {10, "This array is fixed or temporarily locked"},
      {11, "Division by zero"},
      {13, "Type mismatch"},
      {14, "Out of string space"},
      {28, "Out of stack space"},
      {35, "Sub or Function not defined"},
      {48, "Error in loading DLL"},
      {51, "Internal error"},
      {52, "Bad file name or number"},
      {53, "File not found"},
      {54, "Bad file mode"},
      {55, "File already open"},
      {57, "Device I/O error"},
      {58, "File already exists"},
      {61, "Disk full"},
      {62, "Input past end of file"},
      {63, "Bad record number"},
      {67, "Too many files"},
      {68, "Device unavailable"},
      {70, "Permission denied"},
      {71, "Disk not ready"},
      {74, "Can't rename with different drive"},
      {75, "Path/File access error"},
      {76, "Path not found"},
      {91, "Object variable or With block variable not set"},
      {92, "For loop not initialized"},
      {93, "Invalid pattern string"},
      {94, "Invalid use of Null"},
      {340, "Control array element does not exist"},
      {360, "Object already loaded"},
      {361, "Can't load or unload this object"},
      {362, "Can't unload controls created at design time"},
      {364, "Object was unloaded"},
      {365, "Unable to unload within this context"},
      {380, "Invalid property value"},
      {381, "Invalid property array index"},
      {383, "'Text' property is read-only"},
      {400, "Form already displayed; can't show modally"},
      {401, "Can't show non-modal form when modal form is displayed"},
      {419, "Permission to use object denied"},
      {422, "Property not found"},
      {423, "Property or method not found"},
      {424, "Object required"},
      {429, "ActiveX component can't create object"},
      {430, "Class does not support Automation or does not support expected interface"},
      {432, "File name or class name not found during Automation operation"},
      {438, "Object doesn't support this property or method"},
      {440, "Automation error"},
      {445, "Object doesn't support this action"},
      {446, "Object doesn't support named arguments"},
      {447, "Object doesn't support current locale setting"},
      {448, "Named argument not found"},
      {449, "Argument not optional"},
      {450, "Wrong number of arguments or invalid property assignment"},
      {451, "Property let procedure not defined and property get procedure did not return an object"},
      {453, "Specified DLL function not found"},
      {458, "Variable uses an Automation type not supported"},
      {481, "Invalid picture"},
      {482, "Printer error"},
      {1004, "Application-defined or object-defined error"},
      {32755, "Cancel was selected."},
  };
  auto it = texts.find(number);
  if (it != texts.end()) return it->second;
  if (number < 0) return "Automation error";
  return "Application-defined or object-defined error";
}

void Raise(int32_t number, std::string description, std::string source) {
  throw VBError(number, std::move(description), std::move(source));
}

HRESULT Check(HRESULT hr, std::string_view source) {
  if (FAILED(hr)) throw VBError(hr, {}, std::string(source));
  return hr;
}

void ErrObject::Raise(int32_t number, std::string description, std::string source) {
  ::Raise(number, std::move(description), std::move(source));
}

ErrObject& Err() {
  thread_local ErrObject err;
  return err;
}

namespace core_detail {
void TrapCurrentException() {
  try {
    throw;
  } catch (const VBError& e) {
    Err().Set(e);
  } catch (const std::bad_alloc&) {
    Err().Set(VBError(vbErrOutOfMemory));
  } catch (const std::out_of_range&) {
    Err().Set(VBError(vbErrSubscriptOutOfRange));
  } catch (const std::exception& e) {
    Err().Set(VBError(vbErrInvalidProcedureCall, e.what()));
  }
}
}  // namespace core_detail
