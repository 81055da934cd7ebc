// NGenDist pipeline: consent, kind checks, index, disk space, parts, extraction, registry
// import, system files and program run, each step publishing its status.
#include <cstdlib>
#include <cstring>

#include "entry/StatusCodes.h"
#include "gendist/NGenDist.h"
#include "gendist/SwStatusApi.h"
#include "net/NLgzExtract.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformFs.h"
#include "platform/Trace.h"

namespace {

constexpr int kAnswerYes = 6;
constexpr int kConsentStyle = 0x41004;  // yes/no, system-modal, topmost

bool hasForbiddenCharacter(const char* text) {
  return std::strpbrk(text, "<>/:*?\"|") != nullptr;
}

// "X:\rest" on a fixed drive, with no character Windows forbids in the rest.
bool isValidLocalFixedPath(const NString& path) {
  if (path.length() < 3 || path.getAt(2) != '\\') return false;
  if (plat::driveType(path.getAt(0)) != plat::DriveType::Fixed) return false;
  const char* rest = path.text() + 3;
  return !hasForbiddenCharacter(rest) && rest[0] != '\\' && rest[0] != '.';
}

}  // namespace

NString NGenDist::moduleFolder() const { return NMisc::getModuleFolder(NMisc::thisModule()); }

NString NGenDist::jobFolder() const { return moduleFolder() + "\\ndist"; }

NString NGenDist::targetFolder() const {
  const NString& base = m_strBaseFolder;
  if (base.length() >= 2 && base.getAt(1) == ':')
    return isValidLocalFixedPath(base) ? base : moduleFolder() + "\\Temp";
  if (base.length() < 2 && base.equalsNoCase("."))
    return moduleFolder() + "\\ndist_temp\\" + m_strDistId;
  return moduleFolder() + "\\Temp";
}

// Asks the user through the message program; true when the answer is yes.
static bool askConsent(uint32_t actor, uint32_t session, const NString& question,
                       const NString& caption) {
  plat::ModuleHandle module = NMisc::thisModule();
  int answer = -1;
  if (actor == 0) {
    answer = NMisc::isVistaOrLater()
                 ? NMisc::showMessageAsActiveUser(module, question.text(), caption.text(), kConsentStyle, 1)
                 : NMisc::showMessageAsSystem(module, question.text(), caption.text(), kConsentStyle, 1);
  } else if (actor == 1) {
    answer = NMisc::is2003OrLater()
                 ? NMisc::showMessageInSession(session, module, question.text(), caption.text(),
                                               kConsentStyle, 1, "", "")
                 : NMisc::showMessageAsSessionUser(session, module, question.text(),
                                                   caption.text(), kConsentStyle, 1);
  }
  return answer == kAnswerYes;
}

int NGenDist::doDistNormal(plat::Event* stopEvent) {
  loadStepTexts();
  if (m_bAgree) {
    report(0, 0, commanded_status::kAgreementAsked, stepText(step_text::kAgreementDetail).text(),
           0);
    NString caption =
        _n_dt_actor == 1
            ? NMisc::getMessage(NMisc::thisModule(), commanded_message::kActorAgreementCaption, "")
            : stepText(step_text::kAgreementCaption);
    if (!askConsent(_n_dt_actor, _n_dt_actor_session_id,
                    m_strDistName + stepText(step_text::kAgreementQuestion), caption)) {
      report(1, 0, commanded_status::kAgreementRefused);
      return 0;
    }
  }
  if (_n_dt_proc_type == 2 && _sw_id >= 1) {
    uint32_t flags = 0;
    if (!SwGiveStatusFlag(_sw_id, flags) || flags == kSwStatusUnknown) {
      report(1, 0, commanded_status::kSwStatusFailed, "", 0);
      return 0;
    }
    if ((flags & kSwStatusValid) && (flags & (kSwAlreadyInstalled | kSwNewerInstalled))) {
      report(1, 1,
             (flags & kSwAlreadyInstalled) ? commanded_status::kFoundInstalled
                                           : commanded_status::kFoundNewer,
             "", 0);
      return 0;
    }
  }
  if (_n_dt_proc_type == 3 && _sw_id >= 1) {
    plat::copyFile((moduleFolder() + "\\" + m_strExecFile).text(),
                   (m_strBaseFolder + "\\" + m_strExecFile).text(), false);
  }
  return runDownloadPhase(stopEvent);
}

int NGenDist::runDownloadPhase(plat::Event* stopEvent) {
  const int show = m_bShowProgress ? 1 : 0;
  m_nTotalElapsed = 0;
  m_nLastSentElapsed = 0;
  report(0, 1, commanded_status::kDownloadStarted);
  m_nProgress = 0;
  NString address;
  if (!fetchIndex(stopEvent, address)) {
    report(1, show, commanded_status::kNoIndex, "", 0);
    return 0;
  }
  report(0, show, commanded_status::kPackageFetching, "", 0);
  if (!checkDiskSpace()) {
    report(1, show, commanded_status::kDiskFull);
    return 0;
  }
  if (!downloadFiles(address.text(), stopEvent)) {
    report(0, show, commanded_status::kPartFailed);
    return 0;
  }
  m_nProgress = 0;
  return runInstallSteps();
}

bool NGenDist::fetchIndex(plat::Event* stopEvent, NString& address) {
  const int show = m_bShowProgress ? 1 : 0;
  for (int i = 0; i < m_arrAddresses.getCount(); ++i) {
    NString candidate = m_arrAddresses.getAt(i);
    m_strDetail = stepText(step_text::kIndexFetch);
    rptToServer(0, show);
    if (downloadIdxFile(candidate.text(), stopEvent)) {
      m_strDetail = stepText(step_text::kIndexCheck);
      rptToServer(0, show);
      if (checkIdxFile()) {
        address = candidate;
        return true;
      }
    }
    trace(1, "NGenDist::doDistNormal: downloadIdxFile fail (%s)\n", candidate.text());
  }
  return false;
}

int NGenDist::runInstallSteps() {
  const int show = m_bShowProgress ? 1 : 0;
  struct Step {
    int text;
    int (NGenDist::*run)();
    const char* failure;
  } steps[] = {
      {step_text::kExtract, &NGenDist::extractPackage, commanded_status::kExtractFailed},
      {step_text::kRegistryImport, &NGenDist::registRegFile, commanded_status::kRegistryFailed},
      {step_text::kSysFileCopy, &NGenDist::copySysFile, commanded_status::kSysFilesFailed},
      {step_text::kExecute, &NGenDist::execFile, commanded_status::kExecFailed},
  };
  for (const Step& step : steps) {
    m_strDetail = stepText(step.text);
    rptToServer(0, show);
    if (!(this->*step.run)()) {
      report(1, show, step.failure);
      return 0;
    }
  }
  report(1, show, commanded_status::kComplete, "", 0);
  return 1;
}

int NGenDist::checkDiskSpace() {
  NString module = moduleFolder();
  double freeBytes = 0;
  double total = 0;
  NMisc::getDiskSpace(module.getAt(0), &freeBytes, &total);
  double available = freeBytes;
  if (m_strBaseFolder.getAt(0) != module.getAt(0)) {
    double baseFree = 0;
    NMisc::getDiskSpace(m_strBaseFolder.getAt(0), &baseFree, &total);
    available += baseFree;
  }
  return std::atof(m_strSize.text()) < available / 1024.0 ? 1 : 0;
}

int NGenDist::extractPackage() {
  NString target = targetFolder();
  for (int i = 3; i < target.length(); ++i) {
    if (target.getAt(i) == '\\') NMisc::makePath(target.left(i).text());
  }
  NMisc::makePath(target.text());
  NString archive;
  archive.format("%s\\%s\\%s.lgz", jobFolder().text(), m_strDistId.text(), m_strDistId.text());
  NLgzExtract extraction;
  if (extraction.extract(target.text(), archive.text())) return 1;
  trace(1, "NGenDist::checkIdxFile(1): invalid idx file\n");
  return 0;
}

int NGenDist::copySysFile() {
  NString target = targetFolder();
  for (int i = 0; i < m_arrSysFiles.getCount(); ++i) {
    NString entry = m_arrSysFiles.getAt(i);
    NStrtok tokenizer;
    NStringArray& parts = tokenizer.split(entry.text(), "\\");
    NString name = parts.getCount() > 0 ? parts.getAt(parts.getCount() - 1) : NString();
    if (parts.getCount() == 0 || name.isEmpty()) {
      trace(1, "NGenDist::copySysFile(1): sys Copy target file is NOT VALID!! (%s)\n", entry.text());
      return 0;
    }
    NString source = target + "\\" + entry;
    NString destination = NMisc::getSystemFolder(0) + "\\" + name;
    trace(9, "NGenDist::copySysFile(1.5): (%s)\n", destination.text());
    if (!plat::copyFile(source.text(), destination.text(), false)) {
      trace(1, "NGenDist::copySysFile(2): sys file Copy error (%s, %s)\n", source.text(),
            destination.text());
      return 0;
    }
  }
  return 1;
}
