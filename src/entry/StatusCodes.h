// The three-digit status codes that commanded jobs and automatic items report, and the keys of
// the message-catalogue texts that explain them. The two kinds of distribution share some codes
// with different meanings ("071" is a job holding its record but an item's run starting; "920"
// is failed job settings but a failed detection policy), so each kind has its own namespace and
// a code is always named for the kind that reports it. The tables that map codes to texts keep
// their codes as data.
#pragma once

// What a commanded job reports (the host, the dialog record and the gateway receive it).
namespace commanded_status {
inline constexpr char kSettingsTaken[] = "071";   // the job holds its record
inline constexpr char kAgreementAsked[] = "070";  // the agreement question is about to be asked
inline constexpr char kDownloadStarted[] = "072";
inline constexpr char kPackageFetching[] = "075";  // index in place, then each part
inline constexpr char kComplete[] = "060";
inline constexpr char kDuplicate[] = "100";  // the same distribution is queued or running
inline constexpr char kSettingsFailed[] = "920";
inline constexpr char kAlreadyRunning[] = "921";
inline constexpr char kAgreementRefused[] = "922";
inline constexpr char kSwStatusFailed[] = "923";
inline constexpr char kFoundInstalled[] = "945";  // the software status says installed
inline constexpr char kFoundNewer[] = "946";      // the software status says a newer one is
inline constexpr char kNoIndex[] = "926";         // no address gave a usable index file
inline constexpr char kDiskFull[] = "907";
inline constexpr char kPartFailed[] = "904";
inline constexpr char kExtractFailed[] = "905";
inline constexpr char kRegistryFailed[] = "927";
inline constexpr char kSysFilesFailed[] = "928";
inline constexpr char kExecFailed[] = "908";
inline constexpr char kManagerStopped[] = "940";
inline constexpr char kBanPeriod[] = "941";
inline constexpr char kUrgentCancel[] = "942";
// What the host and the dialog are shown instead of a failure (above 900) or a step (071-079).
inline constexpr char kShownFailure[] = "040";
inline constexpr char kShownProgress[] = "070";
}  // namespace commanded_status

// What an automatic item reports (status record, registry block, gateway, state file).
namespace auto_status {
inline constexpr char kWaiting[] = "010";  // commanded, waiting to be distributed
inline constexpr char kStarted[] = "070";
inline constexpr char kRunStarted[] = "071";        // starts the processing clock
inline constexpr char kIndexFetch[] = "072";        // stage 1
inline constexpr char kIndexLoad[] = "073";         // stage 2
inline constexpr char kDestinationCheck[] = "074";  // stage 3
inline constexpr char kDownload[] = "075";          // stage 4
inline constexpr char kCopy[] = "076";              // stage 5
inline constexpr char kComplete[] = "060";          // also: found installed
inline constexpr char kIndexUnavailable[] = "901";
inline constexpr char kIndexInvalid[] = "902";
inline constexpr char kDestinationFailed[] = "903";
inline constexpr char kPartFailed[] = "904";
inline constexpr char kUnpackFailed[] = "905";
inline constexpr char kMoveFailed[] = "906";
inline constexpr char kDiskFull[] = "907";
inline constexpr char kRunFailed[] = "908";
inline constexpr char kStopped[] = "909";
inline constexpr char kIndexInconsistent[] = "910";  // the part count does not match
inline constexpr char kPolicyFailed[] = "920";
}  // namespace auto_status

// Keys of the commanded job's step texts, loaded from the catalogue when the job starts.
namespace step_text {
inline constexpr int kIndexFetch = 1901;
inline constexpr int kIndexCheck = 1902;
inline constexpr int kPartFetch = 1903;  // followed by the progress percentage
inline constexpr int kExtract = 1904;
inline constexpr int kRegistryImport = 1905;
inline constexpr int kSysFileCopy = 1906;
inline constexpr int kExecute = 1907;
inline constexpr int kAgreementDetail = 1909;
inline constexpr int kAgreementQuestion = 1910;  // follows the distribution name
inline constexpr int kAgreementCaption = 1920;
}  // namespace step_text

// Catalogue keys of the commanded manager's messages.
namespace commanded_message {
inline constexpr char kActorAgreementCaption[] = "1994";  // the caption when the actor asks
inline constexpr char kBusyRefusal[] = "1995";            // another request is being handled
inline constexpr char kRefusalCaption[] = "1478";
}  // namespace commanded_message

// Catalogue keys of an automatic item's failure details.
namespace auto_message {
inline constexpr int kStopped = 1530;
inline constexpr int kIndexUnavailable = 1531;
inline constexpr int kIndexNotLoaded = 1532;   // followed by kIndexInvalid or kIndexUnopened
inline constexpr int kFileCheckFailed = 1533;  // CVD_ADIST_STATUS_FAIL_FILE_CHECK
inline constexpr int kDiskCapacity = 1534;     // CVD_ADIST_STATUS_FAIL_DISK_CAPA
inline constexpr int kInvalidIndex = 1535;     // CVD_ADIST_STATUS_FAIL_INVALID_INDEX
inline constexpr int kFileDownload = 1536;     // CVD_ADIST_STATUS_FAIL_FILE_DOWN
inline constexpr int kFileUnzip = 1537;        // CVD_ADIST_STATUS_FAIL_FILE_UNZIP
inline constexpr int kFileCopy = 1538;         // CVD_ADIST_STATUS_FAIL_FILE_COPY
inline constexpr int kRunFailed = 1539;
inline constexpr int kIndexInvalid = 1540;
inline constexpr int kIndexUnopened = 1541;
}  // namespace auto_message
