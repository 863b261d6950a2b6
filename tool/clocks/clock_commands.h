// The clock-generator requests (group 0x05) and the texts of their statuses.
#pragma once

#include "link/request.h"

inline constexpr const char* kBadClockIndexText = "Invalid clock generator index";
inline constexpr const char* kNoSimpleClockText = "Simple clock generator programming not supported for this model.";

inline constexpr StatusText kGetClockTexts[] = {{1, kBadClockIndexText}, {2, kNoSimpleClockText}};
/// Argument: generator index. Reply: frequency (32 bits).
inline constexpr UcRequest kGetFrequency{
    .group = 0x05, .command = 0x8F, .line = StatusLine::ErrorText, .texts = kGetClockTexts};
/// Arguments: generator index, 0x01. Reply: override frequency (32 bits).
inline constexpr UcRequest kGetOverride{
    .group = 0x05, .command = 0x84, .line = StatusLine::ErrorText, .texts = kGetClockTexts};
/// Selector byte that ends the getclknv request.
constexpr uint8_t kOverrideSelector = 0x01;

inline constexpr StatusText kSetFrequencyTexts[] = {
    {1, kBadClockIndexText},
    {2, kNoSimpleClockText},
    {0x11, "Requested frequency is out of range"},
    {0x21, "Microcontroller failed to communicate with SI5338"},
};
/// Arguments: generator index, frequency (32 bits).
inline constexpr UcRequest kSetFrequency{.group = 0x05, .command = 0x8E, .texts = kSetFrequencyTexts};
inline constexpr StatusText kSetOverrideTexts[] = {
    {1, kBadClockIndexText},
    {2, "Clock generator frequency cannot be overridden"},
    {3, kNoSimpleClockText},
};
/// Arguments: generator index, frequency (32 bits), 0x03.
inline constexpr UcRequest kSetOverride{.group = 0x05, .command = 0x83, .texts = kSetOverrideTexts};
/// Store byte that ends the setclknv request.
constexpr uint8_t kOverrideStore = 0x03;

inline constexpr StatusText kProgramMapTexts[] = {
    {1, "Register map clock generator programming not supported for this model"},
    {2, kBadClockIndexText},
    {3, "Invalid flag"},
    {4, "Invalid register map"},
};
/// Arguments: flags, generator index, map type, chunk length (16 bits), the
/// chunk. Statuses from 0x80 up are the chip's own errors.
inline constexpr UcRequest kProgramMap{
    .group = 0x05, .command = 0x9B, .texts = kProgramMapTexts, .chipErrorsFrom = 0x80};
