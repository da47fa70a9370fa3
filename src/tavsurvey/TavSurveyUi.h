// The survey dialog: one object per launch request. It keeps the launch data, owns the survey
// window and the survey's data model (content list, button labels, selections), and carries the
// focus and read-out state that the toolkit callbacks update.
#pragma once

#include <Elementary.h>

#include <string>
#include <utility>
#include <vector>

namespace survey {

class TavSurveyUi;

// Buttons of the popup built last: [0] Submit, [1] Cancel; [2] stays empty.
extern Evas_Object* m_Button[3];

// Text put after every read-out text (title, questions).
extern const std::string COMMA_SEPARATOR;
// Seconds without a key press after which the popup closes as if cancelled.
constexpr double POPUP_TIMEOUT_SECONDS = 60.0;
// Seconds before that time-out at which the viewer is warned, on screen and by voice.
constexpr double TIMEOUT_WARNING_SECONDS = 15.0;
// The warning's setting (1 on, 0 off); without it the warning follows the screen reader.
extern const char* const TIMEOUT_WARNING_KEY;
extern const char* const SCREEN_READER_KEY;
extern const char* const TIMEOUT_WARNING_TEXT;   // message id
// Time limit of the upload request, in seconds.
constexpr int UPLOAD_TIMEOUT_SECONDS = 40;
// Access information slots of the survey's widgets, by the platform's numbers: the name is
// read first (0), the information after it (3).
constexpr Elm_Access_Info_Type ACCESS_NAME = ELM_ACCESS_INFO;
constexpr Elm_Access_Info_Type ACCESS_INFO = ELM_ACCESS_CONTEXT_INFO;
static_assert(ACCESS_NAME == 0 && ACCESS_INFO == 3, "access slots of the platform");
// Home screen that gets the screen back when the survey closes.
extern const std::string HOME_SCREEN_APP_ID;

// Test seams. The application never changes them; tests point them at the build tree, shorten
// the time-out and give the headless canvas a television's screen.
namespace seams {
extern double popupTimeout;       // POPUP_TIMEOUT_SECONDS
extern std::string themeDir;      // "" = the installed theme files (EDC_DIR)
extern int screenWidth;           // 0 = the size the window reports
extern int screenHeight;
extern int uploadTimeout;         // UPLOAD_TIMEOUT_SECONDS
extern double warningLead;        // TIMEOUT_WARNING_SECONDS
extern void (*readOut)(const char* text);   // the screen reader (elm_access_say)
// Desktop runs and end-to-end tests of the real binary may shorten the two time limits with
// TAVSURVEY_POPUP_TIMEOUT and TAVSURVEY_UPLOAD_TIMEOUT (seconds); unset, the shipped values hold.
void applyEnvironment();
} // namespace seams

class TavSurveyUi {
public:
    TavSurveyUi(std::string pinCode, std::string sessionId, std::string url);
    virtual ~TavSurveyUi();
    TavSurveyUi(const TavSurveyUi&) = delete;
    TavSurveyUi& operator=(const TavSurveyUi&) = delete;

    // ---- Window and settings ----
    // The survey window; null before prepareWindow() and after destroySurveyWindow().
    Evas_Object* window() const { return m_window; }
    void prepareWindow();
    void destroySurveyWindow();
    int getHighContrast();
    int getEnlargeMode();
    void prepareDialogInformations();

    // ---- Popup ----
    void showSurveyPopup();
    void addSurveyPopup();
    void hideSurveyPopup();
    void setButtonIconImage(Evas_Object* button, int index);
    // The line that warns of the idle time-out; null until the first warning.
    Evas_Object* timeoutWarning() const { return m_warningLabel; }

    // ---- Focus, keys, read-out and sounds ----
    void playEventSound(Evas_Object* obj, const std::string& key);
    static void focusedItemCb(void* data, Evas_Object* obj, void* event_info);
    static void unfocusedItemCb(void* data, Evas_Object* obj, void* event_info);
    static void focusedItemFirstQuestionCb(void* data, Evas_Object* obj, void* event_info);
    static void focusedItemSecondQuestionCb(void* data, Evas_Object* obj, void* event_info);
    static void focusedItemThirdQuestionCb(void* data, Evas_Object* obj, void* event_info);
    static void focusedItemFourthQuestionCb(void* data, Evas_Object* obj, void* event_info);
    static void focusedItemFifthQuestionCb(void* data, Evas_Object* obj, void* event_info);
    static void questionRead(TavSurveyUi* survey, Evas_Object* obj);
    static char* accessCallback(void* data, Evas_Object* obj);
    static void onKeyPress(void* data, Evas* e, Evas_Object* obj, void* event_info);
    static void onKeyUnpress(void* data, Evas* e, Evas_Object* obj, void* event_info);
    static void okButtonClickedCb(void* data, Evas_Object* obj, void* event_info);
    static void cancelButtonClickedCb(void* data, Evas_Object* obj, void* event_info);

    // ---- Results ----
    // Writes the result document (SURVEY_RESULT_FILE); 0 on success, -1 on failure.
    int exportSurveyData();
    // Uploads the result document to m_url.
    void sendSurveyResult();

protected:
    static void focusedQuestionItem(void* data, Evas_Object* obj, int question);
    static void windowDeleted(void* data, Evas* e, Evas_Object* obj, void* event_info);
    static void onButtonKeyPress(void* data, Evas* e, Evas_Object* obj, void* event_info);
    bool timeoutWarningEnabled();
    // (Re)starts the count-down to the time-out warning and takes a shown warning away.
    void restartTimeoutWarning();
    void stopTimeoutWarning();
    static Eina_Bool warnOfTimeout(void* data);
    // Gives the remote-control keys back (once; destroySurveyWindow() does it when Submit has not).
    void releaseRemoteKeys();

    std::string m_url;
    std::string m_sessionId;
    std::string m_pinCode;
    Evas_Object* m_window = nullptr;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    bool m_itemFocused = false;
    std::string m_readOutPrefix;
    bool m_buttonLabelRead = false;
    // (kind, text id): kinds "title", "description", "question", "answer", in display order.
    std::vector<std::pair<std::string, std::string>> m_contentList;
    std::vector<const char*> m_buttonLabels;
    // One heap integer per question: the 1-based position of its selected answer.
    std::vector<int*> m_selections;
    // Per question: its first answer (the radio group's leader) and its read-out text.
    std::vector<std::pair<Evas_Object*, std::string>> m_questionGroups;
    int m_currentQuestion = 0;     // 0-4: question of the focused answer; 5: none
    int m_lastReadQuestion = 5;    // question whose read-out was given last; 5: none
    bool m_boxUnfocused = false;
    Evas_Object* m_box = nullptr;
    bool m_keysGrabbed = false;
    bool m_keySoundPlayed = false;   // by onButtonKeyPress, for the key onKeyPress gets next
    Ecore_Timer* m_warningTimer = nullptr;
    Evas_Object* m_warningLabel = nullptr;
};

} // namespace survey
