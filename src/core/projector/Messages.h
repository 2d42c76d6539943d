#pragma once
// The numbered error and warning boxes and the few fixed-text boxes. Texts come from the
// type library; without it (or without the text) nothing is shown.
#include <string>

#include "platform/Env.h"

namespace ombrix {

constexpr int kErrorStringBase = 103;
constexpr int kWarningStringBase = 204;
constexpr int kMessageTextSize = 100;

void ShowError(const Env& env, int n);
void ShowWarning(const Env& env, int n);
// The numbered box with the system's reason as its detail.
void ShowError(const Env& env, int n, const std::string& detail);
void ShowWarning(const Env& env, int n, const std::string& detail);
void ShowMemoryError(const Env& env);
void ShowFileDialogError(const Env& env, int code);

// The caption and text a numbered box would show; false when it would show nothing.
bool ErrorBoxText(const Env& env, int n, std::string* caption, std::string* text);
bool WarningBoxText(const Env& env, int n, std::string* caption, std::string* text);
const char* FileDialogErrorText(int code);

}  // namespace ombrix
