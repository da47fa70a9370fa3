// Input injection: remote-control keys, input-method digits and mouse clicks.
#pragma once

#include "UinputRC.h"

#include <Utils.h>

#include <string>

namespace deviceinfo {

class Input {
public:
    // The process-wide instance, built on first use (which blocks for the virtual remote
    // control's start-up pause). Not thread-safe: the first call must not race another.
    static Input* GetInstance();
    static void DestroyInstance();

    // rcCode: decimal text; action: "press", "release" or "pressrelease". 0 success, 1 failure.
    int generateRcuInput(const std::string& rcCode, const std::string& action);
    // Writes up to eight digits to the input method. An invalid value does nothing and gives 0.
    int generateImeInput(std::string& value);
    bool checkValidIMEValue(std::string value);
    // Only "release" clicks; button 1 or 2. 0 success (or nothing to do), 1 failure.
    int generateMouseMoveAndClick(int x, int y, int button, const std::string& action);

private:
    Input() = default;
    ~Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    UInput::UinputRC m_uinputRC;

    static Input* m_pInstance;
    static Utils m_Utils;
};

} // namespace deviceinfo
