// What a declaration means to a caller, at compile time, so that the device's declaration of a
// name and the SDK's can be compared where their spellings may differ but their meaning must not:
// DWORD is unsigned int in one and unsigned long in the other, WCHAR char16_t or wchar_t, WINAPI
// a calling convention in one and nothing in the other (CE on ARM has one convention).
#pragma once

#include <cstddef>
#include <type_traits>

namespace check {

enum class Kind { kVoid, kInteger, kFloating, kPointer, kArray, kClass, kOpaque, kFunction };

// One level of a type: what it is, its size and signedness, its constness; for a function, how
// many arguments it takes.
struct Outline {
    Kind kind = Kind::kVoid;
    std::size_t size = 0;
    bool isSigned = false;
    bool isConst = false;
    int arity = 0;
    bool variadic = false;
};

// A type and, for a pointer or an array, what it points to or holds.
struct Shape {
    Outline self;
    Outline target;
};

template <class F>
struct Signature;

template <class R, class... A>
struct Signature<R(A...)> {
    static constexpr int kArity = sizeof...(A);
    static constexpr bool kVariadic = false;
};

template <class R, class... A>
struct Signature<R(A..., ...)> {
    static constexpr int kArity = sizeof...(A);
    static constexpr bool kVariadic = true;
};

#if defined(__i386__)
// The SDK's WINAPI functions on 32-bit x86.
template <class R, class... A>
struct Signature<R __attribute__((stdcall)) (A...)> : Signature<R(A...)> {};
#endif

template <class T, class = void>
struct IsComplete : std::false_type {};

template <class T>
struct IsComplete<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};

template <class T>
constexpr Outline OutlineOf() {
    using U = std::remove_cv_t<T>;
    Outline outline;
    outline.isConst = std::is_const_v<T>;
    if constexpr (std::is_void_v<U>) {
        outline.kind = Kind::kVoid;
    } else if constexpr (std::is_function_v<U>) {
        outline.kind = Kind::kFunction;
        outline.arity = Signature<U>::kArity;
        outline.variadic = Signature<U>::kVariadic;
    } else if constexpr (!IsComplete<U>::value) {
        // Declared by name only: what it holds is never looked at.
        outline.kind = Kind::kOpaque;
    } else {
        outline.size = sizeof(U);
        if constexpr (std::is_enum_v<U>) {
            outline.kind = Kind::kInteger;
            outline.isSigned = std::is_signed_v<std::underlying_type_t<U>>;
        } else if constexpr (std::is_integral_v<U>) {
            outline.kind = Kind::kInteger;
            outline.isSigned = std::is_signed_v<U>;
        } else if constexpr (std::is_floating_point_v<U>) {
            outline.kind = Kind::kFloating;
        } else if constexpr (std::is_pointer_v<U>) {
            outline.kind = Kind::kPointer;
        } else if constexpr (std::is_array_v<U>) {
            outline.kind = Kind::kArray;
        } else {
            outline.kind = Kind::kClass;
        }
    }
    return outline;
}

template <class T>
constexpr Shape ShapeOf() {
    Shape shape{OutlineOf<T>(), {}};
    if constexpr (std::is_pointer_v<T>) {
        shape.target = OutlineOf<std::remove_pointer_t<T>>();
    } else if constexpr (std::is_array_v<T>) {
        shape.target = OutlineOf<std::remove_extent_t<T>>();
    }
    return shape;
}

constexpr bool SameOutline(const Outline& ours, const Outline& sdk) {
    return ours.kind == sdk.kind && ours.size == sdk.size && ours.isSigned == sdk.isSigned &&
           ours.isConst == sdk.isConst && ours.arity == sdk.arity && ours.variadic == sdk.variadic;
}

// A structure the device's headers declare by name only stands for whichever the SDK defines.
constexpr bool SameTarget(const Outline& ours, const Outline& sdk) {
    if (ours.kind == Kind::kOpaque) {
        return ours.isConst == sdk.isConst &&
               (sdk.kind == Kind::kClass || sdk.kind == Kind::kOpaque);
    }
    return SameOutline(ours, sdk);
}

template <class Ours, class Sdk>
constexpr bool SameType() {
    constexpr Shape ours = ShapeOf<Ours>();
    constexpr Shape sdk = ShapeOf<Sdk>();
    if (ours.self.kind == Kind::kOpaque) {
        return SameTarget(ours.self, sdk.self);
    }
    return SameOutline(ours.self, sdk.self) && SameTarget(ours.target, sdk.target);
}

template <class Ours, class Sdk>
struct SameFunction;

template <class R1, class... A1, class R2, class... A2>
struct SameFunction<R1(A1...), R2(A2...)> {
    static constexpr bool Test() {
        if constexpr (sizeof...(A1) != sizeof...(A2)) {
            return false;
        } else {
            return SameType<R1, R2>() && (SameType<A1, A2>() && ...);
        }
    }
};

template <class R1, class... A1, class R2, class... A2>
struct SameFunction<R1(A1..., ...), R2(A2..., ...)> : SameFunction<R1(A1...), R2(A2...)> {};

template <class R1, class... A1, class R2, class... A2>
struct SameFunction<R1(A1...), R2(A2..., ...)> {
    static constexpr bool Test() { return false; }
};

template <class R1, class... A1, class R2, class... A2>
struct SameFunction<R1(A1..., ...), R2(A2...)> {
    static constexpr bool Test() { return false; }
};

#if defined(__i386__)
template <class R1, class... A1, class R2, class... A2>
struct SameFunction<R1(A1...), R2 __attribute__((stdcall)) (A2...)>
    : SameFunction<R1(A1...), R2(A2...)> {};
#endif

// The same integer, whatever the two types: -1 and 0xFFFFFFFF differ.
template <class A, class B>
constexpr bool SameInteger(A a, B b) {
    static_assert(std::is_integral_v<A> && std::is_integral_v<B>, "integer constants");
    const bool aNegative = std::is_signed_v<A> && a < A{0};
    const bool bNegative = std::is_signed_v<B> && b < B{0};
    if (aNegative != bNegative) {
        return false;
    }
    if (aNegative) {
        return static_cast<long long>(a) == static_cast<long long>(b);
    }
    return static_cast<unsigned long long>(a) == static_cast<unsigned long long>(b);
}

}  // namespace check
