#include "Input.h"

#include <TavConstants.h>
#include <TavLog.h>
#include <vconf.h>

#include <cstdlib>

namespace deviceinfo {

namespace {
const char* const kMousePositionKey = "db/menu/support/tavrin/mouse_position";
const size_t kMaxImeDigits = 8;

// Only called with text that passed checkValidIMEValue: digits, so nothing the shell could
// read as syntax ever lands between the quotes.
std::string imeCommand(const std::string& digits) {
    return "echo -ne \"" + digits + '\r' + "\" > " + TTY_BROADCAST_PROC;
}
} // namespace

Input* Input::m_pInstance = nullptr;
Utils Input::m_Utils;

Input* Input::GetInstance() {
    if (m_pInstance)
        return m_pInstance;
    LOGW("m_pInstance is Null\n");
    m_pInstance = new Input();
    return m_pInstance;
}

void Input::DestroyInstance() {
    delete m_pInstance;
    m_pInstance = nullptr;
}

int Input::generateRcuInput(const std::string& rcCode, const std::string& action) {
    const int code = std::atoi(rcCode.c_str());
    bool sent = false;
    if (action == "release")
        sent = m_uinputRC.releaseKey(code);
    else if (action == "press")
        sent = m_uinputRC.pressKey(code);
    else if (action == "pressrelease")
        sent = m_uinputRC.hitKey(code);
    else
        return 1;
    return sent ? 0 : 1;
}

bool Input::checkValidIMEValue(std::string value) {
    if (value.size() > kMaxImeDigits)
        return false;
    for (const char c : value)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int Input::generateImeInput(std::string& value) {
    // The value goes into a shell command line: it is checked before anything is built from it.
    if (!checkValidIMEValue(value))
        return 0;
    const std::string command = imeCommand(value);
    LOGI("IME command: %s", command.c_str());
    if (std::system(command.c_str()) != 0) {
        SLOGW("IME value set error");
        return 1;
    }
    return 0;
}

int Input::generateMouseMoveAndClick(int x, int y, int button, const std::string& action) {
    if (action != "release")
        return 0;
    if (button != 1 && button != 2)
        return 1;
    const std::string position =
        std::to_string(x) + "," + std::to_string(y) + "," + (button == 1 ? "1" : "3");
    LOGD("Mouse Position : %s", position.c_str());
    if (vconf_set_str(kMousePositionKey, position.c_str()) != 0) {
        LOGW("Failed to set vconf value of mouse position");
        return 1;
    }
    return 0;
}

} // namespace deviceinfo
