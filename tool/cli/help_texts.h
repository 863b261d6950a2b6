// The fixed help texts of zorviutil.
#pragma once

/// The verb list shown as the meaning of the "command" parameter.
extern const char* const kVerbListText;
/// Prints the link-options help (help topic "comm").
void showCommHelp();
/// Prints build-info: name and version, library versions, supported models.
void showBuildInfo();
