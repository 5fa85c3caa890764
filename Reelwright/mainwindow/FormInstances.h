#pragma once
// The program's default instance of a window class, as the windows' code names one window by its
// class (frmSplash.Width): DefaultForm<frmSplash>().Width(). Made on first use; the object lives
// as long as the program, loaded and unloaded like any form.
template <class T>
T& DefaultForm() {
  static T* form = new T();
  return *form;
}
