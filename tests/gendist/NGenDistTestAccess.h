// Test access to a job's private fields, for tests that set a job up without a posted record.
#pragma once

#include "gendist/NGenDist.h"

class NGenDistTestAccess {
 public:
  explicit NGenDistTestAccess(NGenDist& job) : m_job(job) {}

  NString& distId() { return m_job.m_strDistId; }
  NString& distName() { return m_job.m_strDistName; }
  NString& version() { return m_job.m_strVersion; }
  NString& description() { return m_job.m_strDescr; }
  NString& baseFolder() { return m_job.m_strBaseFolder; }
  NString& execFile() { return m_job.m_strExecFile; }
  NString& execOptions() { return m_job.m_strExecOpt; }
  NString& execUser() { return m_job.m_strExecUser; }
  NString& regFile() { return m_job.m_strRegFile; }
  int& agree() { return m_job.m_bAgree; }
  uint32_t& actor() { return m_job._n_dt_actor; }
  uint32_t& actorProcessId() { return m_job._n_dt_actor_process_id; }
  uint32_t& actorSession() { return m_job._n_dt_actor_session_id; }
  bool& showProgress() { return m_job.m_bShowProgress; }
  bool& dialogStarted() { return m_job.m_bDlgStarted; }
  int ignoreExitCode() const { return m_job.m_nIgnoreExitCode; }
  int reportInterval() const { return m_job.m_nReportInterval; }
  const NStringArray& addresses() const { return m_job.m_arrAddresses; }
  NString& size() { return m_job.m_strSize; }
  uint32_t& splitCount() { return m_job.m_nSplitCount; }
  const NStringArray& systemFiles() const { return m_job.m_arrSysFiles; }
  const NStringArray& partDigests() const { return m_job.m_arrPartDigests; }

 private:
  NGenDist& m_job;
};
