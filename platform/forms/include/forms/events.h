#pragma once
// Event handlers by name. A form keeps one handler per "object_event" name (Form_Load,
// cmdOK_Click, Option1_Click); an event is raised with its arguments as Variants, by-reference
// arguments as by-reference Variants whose writes reach the raiser. Elements of a control array
// get their Index as the first argument.
//
// Handlers are plain callables whose parameters name the event's arguments in order:
//   On("Form_QueryUnload", [this](int16_t& Cancel, int16_t UnloadMode) { ... });
//   On("Option1_Click", [this](int16_t Index) { ... });
// A parameter taken by non-const reference writes back to the raiser (Cancel, KeyAscii).
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/variant.h"

using EventArgs = std::vector<Variant>;
using EventHandler = std::function<void(EventArgs&)>;

namespace forms_detail {

int32_t LongOf(const Variant& v);
double DoubleOf(const Variant& v);
bool BoolOf(const Variant& v);
std::string StringOf(const Variant& v);

template <class T>
T FromVariant(const Variant& v) {
  if constexpr (std::is_same_v<T, Variant>) {
    return v.Deref();
  } else if constexpr (std::is_same_v<T, bool>) {
    return BoolOf(v);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return StringOf(v);
  } else if constexpr (std::is_floating_point_v<T>) {
    return static_cast<T>(DoubleOf(v));
  } else {
    static_assert(std::is_integral_v<T>, "handler parameter of an unsupported type");
    return static_cast<T>(LongOf(v));
  }
}

template <class T>
void WriteBack(Variant& arg, const T& value) {
  if constexpr (std::is_same_v<T, Variant>) {
    arg.Assign(value);
  } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, uint32_t>) {
    arg.Assign(Variant(static_cast<int32_t>(value)));
  } else {
    arg.Assign(Variant(value));
  }
}

template <class F>
struct Signature : Signature<decltype(&F::operator())> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const> {
  using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...)> {
  using Args = std::tuple<A...>;
};

template <class F, class... A, size_t... I>
void CallWith(F& f, EventArgs& args, std::tuple<A...>*, std::index_sequence<I...>) {
  // Locals for every parameter, read from the arguments (missing ones stay at their default).
  std::tuple<std::decay_t<A>...> locals{
      (I < args.size() ? FromVariant<std::decay_t<A>>(args[I]) : std::decay_t<A>{})...};
  f(std::get<I>(locals)...);
  (
      [&] {
        if constexpr (std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>) {
          if (I < args.size()) WriteBack(args[I], std::get<I>(locals));
        }
      }(),
      ...);
}

// Wraps a typed handler as an EventHandler.
template <class F>
EventHandler Adapt(F f) {
  if constexpr (std::is_invocable_v<F&, EventArgs&>) {
    return EventHandler(std::move(f));
  } else {
    using Args = typename Signature<F>::Args;
    return [f = std::move(f)](EventArgs& args) mutable {
      CallWith(f, args, static_cast<Args*>(nullptr), std::make_index_sequence<std::tuple_size_v<Args>>{});
    };
  }
}

}  // namespace forms_detail
