#pragma once

#include <exception>
#include <string>
#include <utility>

// An exception with a message and a result code of the thrower's own type.
template <typename T>
class Excpn : public std::exception {
public:
    Excpn(std::string message, T code) : m_message(std::move(message)), m_code(code) {}

    const char* what() const noexcept override { return m_message.c_str(); }
    T code() const noexcept { return m_code; }

private:
    std::string m_message;
    T m_code;
};
