// The verb table: the subsystems' rows (base/verb_row.h) joined in the order
// of the usage, the conversion of the arguments and the dispatch.
#pragma once

#include <cstdint>

#include "base/verb_row.h"
#include "link/connection.h"

/// The heading of a group on the man page.
const char* verbGroupHeading(VerbGroup group);

/// The table in the order of the usage.
const VerbRow* verbTable(uint32_t* count);

/// The most positional words a row uses, the verb included; UINT32_MAX for
/// a row that ends in a byte list.
uint32_t maxWords(const VerbRow& row);

/// Whether an argument kind is one the conversion knows.
bool isKnownArgKind(Arg kind);

/// Whether an argument kind takes the rest of the words as bytes.
bool isByteList(Arg kind);

/// The usage's verb list ("One of:" and every row's synopsis).
const char* verbListText();

/// The row of a verb word (without regard to case), or null.
const VerbRow* findVerb(const char* word);

/// Looks the verb up without regard to case, converts its arguments and
/// runs it; prints the unrecognised-command message when nothing matches.
[[nodiscard]] Result dispatchVerb(const VerbCall& call);
