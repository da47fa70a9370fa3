// The service's process-wide configuration values (server base URLs, feature switches), filled
// with built-in values chosen by a platform feature flag, optionally written into an XML file.
// Meant to be filled and changed from one thread; no lock.
#pragma once

#include <map>
#include <string>

class TavConfig {
public:
    // Remembers the configuration file; refused (and logged) once values are stored.
    static void initialize(std::string path);
    static void load();
    static void loadConfiguration();
    // Throws std::out_of_range for an absent key.
    static std::string get(std::string key);
    // std::stoi of the value; throws as std::stoi does.
    static int getInt(std::string key);
    static bool is(std::string key, std::string value);
    static void set(std::string key, std::string value);
    // Writes the stored values into the elements of the configuration file that name them.
    static void updateXmlFile();
    static void deinitialize();

private:
    static std::string m_configFilePath;
    static std::map<std::string, std::string> m_storage;
};
