#include "updater/main_page/main_page_texts.h"

namespace updater::texts {

const char* StartCaption(Language l) { return ByLanguage(l, "시작", "START", "START"); }
const char* CancelCaption(Language l) { return ByLanguage(l, "취소", "ОТМЕНА", "CANCEL"); }
const char* UpdatingCaption(Language l) { return ByLanguage(l, "업데이트중", "ИДЕТ ОБНОВЛЕНИЕ", "UPDATING"); }
const char* RestartCaption(Language l) { return ByLanguage(l, "재시작", "RESTART", "RESTART"); }
const char* LogoOptionCaption(Language l) { return ByLanguage(l, "로고 + 옵션", "ЛОГО + ОПЦИИ", "LOGO + OPTION"); }
const char* LogoCaption(Language l) { return ByLanguage(l, "로고", "ЛОГО", "LOGO"); }
const char* OptionCaption(Language l) { return ByLanguage(l, "옵션", "ОПЦИИ", "OPTION"); }

const char* NewSoftwareMessage(Language l) {
    return ByLanguage(l, "새로운 소프트웨어가 있습니다.\r\n\r\n시작 버튼을 누르세요.",
                      "Найдена новая версия.\r\n\r\nНажмите кнопку [START] для запуска обновления.",
                      "New software has been detected.\r\n\r\nPress the [START] button to begin.");
}

const char* NoSoftwareMessage(Language l) {
    return ByLanguage(l, "\r\n새로운 소프트웨어가 없습니다.", "\r\nНовая версия не найдена.",
                      "\r\nNo new software has been detected.");
}

const char* SuccessMessage(Language l) {
    return ByLanguage(l, "업데이트 성공!\r\n\r\n재시작 버튼을 눌러 시스템을 다시 시작하세요.",
                      "Обновление прошло успешно!\r\n\r\nНажмите кнопку [RESTART] для перезагрузки системы.",
                      "Update Success!\r\n\r\nPress the [RESTART] button to restart system.");
}

const char* FailureMessage(Language l) {
    const char* english = "Update Fail!\r\n\r\nPlease retry after restart system.";
    return ByLanguage(l, "업데이트 실패!\r\n\r\n시스템을 다시 시작하여 시도해 주세요.", english, english);
}

}  // namespace updater::texts
