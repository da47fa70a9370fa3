#include "TavConfig.h"

#include "LibXml.h"
#include "TavLog.h"

#include <libxml/xmlsave.h>
#include <system_info.h>

#include <stdexcept>

namespace {

const char kRemoteServiceFeature[] = "com.kestova/featureconf/remote_service.enable";

const char kOperatingServer[] = "TavsOperatingServer";
const char kDevelopmentServer[] = "TavsDevelopmentServer";
const char kDevelopingServer[] = "TavsDevelopingServer";
const char kSurveySupported[] = "SurveySatisfactionSupported";

// Global deployment (feature flag on).
const char kGlobalOperatingUrl[] = "https://tavs.example.com";
const char kGlobalStagingUrl[] = "https://stg.tavs.example.com";
const char kGlobalDevelopmentUrl[] = "https://dev.tavs.example.com";
// Regional (China) deployment (feature flag off); it has no development server.
const char kRegionalOperatingUrl[] = "https://tavs.example.net";
const char kRegionalStagingUrl[] = "https://stg.tavs.example.net";

} // namespace

std::string TavConfig::m_configFilePath;
std::map<std::string, std::string> TavConfig::m_storage;

void TavConfig::initialize(std::string path) {
    // The guard is the store, not the path: once values are loaded the file is fixed until
    // deinitialize().
    if (!m_storage.empty()) {
        SLOGW("Rsch Config is already initialized!");
        return;
    }
    m_configFilePath = std::move(path);
}

void TavConfig::load() { loadConfiguration(); }

void TavConfig::loadConfiguration() {
    bool global = false;
    if (system_info_get_custom_bool(kRemoteServiceFeature, &global) != SYSTEM_INFO_ERROR_NONE) {
        SLOGI("FMS item read failed");
    } else {
        m_storage[kOperatingServer] = global ? kGlobalOperatingUrl : kRegionalOperatingUrl;
        m_storage[kDevelopmentServer] = global ? kGlobalStagingUrl : kRegionalStagingUrl;
        m_storage[kDevelopingServer] = global ? kGlobalDevelopmentUrl : "";
    }
    m_storage[kSurveySupported] = "1";
}

std::string TavConfig::get(std::string key) { return m_storage.at(key); }

int TavConfig::getInt(std::string key) { return std::stoi(get(std::move(key))); }

bool TavConfig::is(std::string key, std::string value) { return get(std::move(key)) == value; }

void TavConfig::set(std::string key, std::string value) { m_storage[std::move(key)] = std::move(value); }

void TavConfig::updateXmlFile() {
    LibXml xml;
    xml.parseFile(m_configFilePath);
    const xmlNodePtr root = xml.getRootElement();
    for (xmlNodePtr child = root ? root->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        tavxml::StringOwner name(xmlGetProp(child, BAD_CAST "name"));
        if (!name)
            throw std::logic_error("configuration element without a \"name\" attribute");
        const std::string& value = m_storage[tavxml::text(name.get())];
        // The value goes in as a text node, so '&' and '<' are escaped rather than read as markup.
        xmlNodeSetContent(child, nullptr);
        xmlAddChild(child, xmlNewDocText(xml.doc(), tavxml::xml(value)));
    }
    if (xmlSaveFileEnc(m_configFilePath.c_str(), xml.doc(), "UTF-8") == -1)
        SLOGW("Failed to save %s", m_configFilePath.c_str());
}

void TavConfig::deinitialize() {
    m_configFilePath.clear();
    m_storage.clear();
}
