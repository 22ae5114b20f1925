#pragma once

#include <string_view>

// Texts both windows show, each written once.
namespace talvo::mainlogic {

// The product as the user interface names it.
inline constexpr std::u16string_view kProductName = u"“Zentarro”客户营销管理软件";
// The main window's caption before the edition is known: one blank before the hyphen.
inline constexpr std::u16string_view kDesignCaptionTail = u" - ";
// The caption in front of the edition caption: two blanks before the hyphen, not one as
// in the design caption; the window has always shown it so.
inline constexpr std::u16string_view kEditionCaptionTail = u"  - ";
// The caption of the windows' information and question boxes.
inline constexpr std::u16string_view kNoticeCaption = u"提示信息";
// The link to the leave-a-message page, on both windows.
inline constexpr std::u16string_view kLeaveWordLink = u"在线留言";

} // namespace talvo::mainlogic
