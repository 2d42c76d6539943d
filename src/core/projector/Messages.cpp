#include "projector/Messages.h"

namespace ombrix {
namespace {

bool NumberedText(const Env& env, int base, int n, const char* word, std::string* caption, std::string* text) {
    // Only 0-100 exist; a larger n would read the other table's texts.
    if (n < 0 || n > 100) return false;
    if (!ReadLibraryString(env.strings, base + n, kMessageTextSize, text)) return false;
    *caption = std::string(word) + std::to_string(n);
    return true;
}

}  // namespace

bool ErrorBoxText(const Env& env, int n, std::string* caption, std::string* text) {
    return NumberedText(env, kErrorStringBase, n, "Error  ", caption, text);
}

bool WarningBoxText(const Env& env, int n, std::string* caption, std::string* text) {
    return NumberedText(env, kWarningStringBase, n, "Warning  ", caption, text);
}

void ShowError(const Env& env, int n) {
    std::string caption, text;
    if (env.ui && ErrorBoxText(env, n, &caption, &text)) env.ui->ShowBox(caption, text, BoxIcon::Stop);
}

void ShowWarning(const Env& env, int n) {
    std::string caption, text;
    if (env.ui && WarningBoxText(env, n, &caption, &text)) env.ui->ShowBox(caption, text, BoxIcon::Exclamation);
}

void ShowError(const Env& env, int n, const std::string& detail) {
    std::string caption, text;
    if (env.ui && ErrorBoxText(env, n, &caption, &text)) env.ui->ShowBoxDetail(caption, text, BoxIcon::Stop, detail);
}

void ShowWarning(const Env& env, int n, const std::string& detail) {
    std::string caption, text;
    if (env.ui && WarningBoxText(env, n, &caption, &text)) {
        env.ui->ShowBoxDetail(caption, text, BoxIcon::Exclamation, detail);
    }
}

void ShowMemoryError(const Env& env) {
    if (env.ui) env.ui->ShowBox("Memory Allocation Failure ", "Unable to allocate memory!", BoxIcon::Stop);
}

const char* FileDialogErrorText(int code) {
    switch (code) {
        case 0xFFFF: return "Failed to create the dialog box !";
        case 1: return "Size of struct is invalid !";
        case 2: return "Failure during initialization !";
        case 3: return "No template found";
        case 4: return "No instance handle found !";
        case 5: return "Failed to load a string !";
        case 6: return "Failure in finding resource !";
        case 7: return "Failed to load a resource !";
        case 8: return "Failed to lock a resource !";
        case 9: return "Unable to allocate memory !";
        case 10: return "Unable to lock memory for handle !";
        case 11: return "No hook procedure provided !";
        case 12: return "Function RegisterWindowMessage failed !";
        case 0x3001: return "No sufficient memory !";
        case 0x3002: return "Invalid filename !";
        case 0x3003: return "The filename is too long !";
        default: return nullptr;
    }
}

void ShowFileDialogError(const Env& env, int code) {
    const char* text = FileDialogErrorText(code);
    if (text && env.ui) env.ui->ShowBox("File error", text, BoxIcon::Stop);
}

}  // namespace ombrix
