#pragma once

// What every "about" of Tavi says of its licence and of the texts its models come from (UTF-8).
namespace tavi {

inline constexpr const char* kLicenceNotice = "Tavi は Apache License 2.0 で配布しています。";
inline constexpr const char* kLicenceWhere = "全文: LICENSE、/usr/share/common-licenses/Apache-2.0";
inline constexpr const char* kNoticesWhere =
    "コーパスの出典、ChaSen と IPADIC のライセンス: /usr/share/doc/tavi/copyright と tavi-serve の /about";

}  // namespace tavi
