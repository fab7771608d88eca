// Text helpers: URL-style escaping, unescaping and splitting of byte strings; "#" numbers, UTF-8
// conversion, containment without regard to case, trimming and case conversion.
//
// Byte strings are taken over their counted length, so a zero byte inside one is an ordinary
// byte; only the functions that take a plain zero-terminated text stop at one. Byte tests take
// each byte as a signed 8-bit value: 0x80 to 0xFF are never URL-safe, letters or digits.
// Hexadecimal output is lowercase. A function that fills a caller's array takes the number of
// units (bytes for an 8-bit array) the array holds and succeeds only when the text and its
// terminating zero fit. Every function takes time linear in its input; none keeps state, so calls
// on distinct data may run on any threads at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// ---- URL escaping and splitting ---------------------------------------------------------------

// For each character code 32 to 127 (entry = code - 32): 1 when UrlEscape passes the character
// unchanged, 0 for the ten it escapes (space " < > [ \ ] ^ { }). Codes 0 to 31 have no entry and
// are always escaped; so the URL delimiters and "%" pass, and text already escaped stays as it is.
inline constexpr BYTE UrlSafeTable[96] = {
    0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //   ! " # $ % & ' ( ) * + , - . /
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1,  // 0 1 2 3 4 5 6 7 8 9 : ; < = > ?
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // @ A B C D E F G H I J K L M N O
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,  // P Q R S T U V W X Y Z [ \ ] ^ _
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // ` a b c d e f g h i j k l m n o
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1,  // p q r s t u v w x y z { | } ~ DEL
};

// 1 when the byte passes unchanged through UrlEscape, 0 when it is escaped.
int IsUrlSafeChar(const char* c);

// The lowercase hexadecimal digit for a value 0 to 15 (only the low four bits are read).
char NibbleToHexChar(const char* nibble);

// The value of a hexadecimal digit, 0 to 15. Any other byte gets the same arithmetic (a decimal
// digit c gives c - 48, any other c up to 'F' gives c - 55, above it c - 87): 'G' gives -16.
int HexCharValue(const char* digit);

// Each byte that is not URL-safe becomes "%" and two digits; the result is a new string.
std::string UrlEscape(const std::string& input);

// The same, leaving only the ASCII letters and digits unchanged.
std::string UrlEscapeStrict(const std::string& input);

// Every "%" followed by two hexadecimal digits (either case) becomes the byte they spell, in one
// pass: a decoded byte is never read again ("%254a" gives "%4a"), and a "%" without two digits
// behind it stays as it is ("%%41" gives "%A", "100%" stays).
std::string UrlUnescape(const std::string& input);

// Empties `pieces`, then cuts `text` at every occurrence of `separator`, searching on behind each
// one, and appends the pieces in order (empty ones too). Returns how many pieces the list holds:
// the number of occurrences plus one, or 0 for an empty separator, which leaves the list empty.
int SplitString(const std::string& text, const std::string& separator,
                std::vector<std::string>& pieces);

// ---- Text conversion --------------------------------------------------------------------------

// Writes "#" and the decimal digits of `value` ("#-5" for a negative one). FALSE, with the buffer
// untouched, when that text and its terminating zero do not fit in `capacity` units.
BOOL FormatHashNumber(INT value, LPWSTR buffer, DWORD capacity);

// Convert a whole zero-terminated text between UTF-8 and UTF-16 with the platform's conversion,
// which puts U+FFFD in place of malformed UTF-8 and unpaired surrogates. Return `buffer`, or null
// when the converted text and its terminating zero do not fit in `capacity` (at least 1), or the
// conversion fails otherwise; the last-error value tells which. After null the buffer's content
// is unspecified.
LPWSTR Utf8ToWide(LPCSTR source, LPWSTR buffer, int capacity);
LPSTR WideToUtf8(LPCWSTR source, LPSTR buffer, int capacity);

// TRUE when `part` occurs in `text` with ASCII letters compared without regard to case (other
// bytes compare exactly). FALSE when either is empty. Texts of any length; nothing is copied.
BOOL ContainsNoCase(LPCSTR text, LPCSTR part);

// Removes the spaces (code 32 only) at both ends of `text`, in place: the trailing ones are
// overwritten with zeros and the rest is moved to the start. Tabs and other blanks stay.
void TrimSpaces(LPWSTR text);

// A lowercase copy of `text` up to its first zero byte: ASCII letters become lowercase, every
// other byte, 0x80 to 0xFF included, stays. The argument is the function's own copy; the result
// is made from it in place.
std::string CaseConvertedCopy(std::string text);
