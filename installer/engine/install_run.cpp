#include "installer/engine/install_run.h"

namespace installer {

void InstallRun::Reset() {
    m_bSucceeded = 0;
    m_nDeletedCount = 0;
    m_nDestFileTotal = 0;
    m_nSourceFileTotal = 0;
    m_nVerifiedCount = 0;
    m_nCrcErrorCount = 0;
    m_dCopiedBytes = 0;
    m_dSourceByteTotal = 0;
    m_dSourceTreeBytes.fill(0);
    m_strCurrentFileName.clear();
    m_strDestinationRoot.clear();
    m_pLogFile.reset();
}

}  // namespace installer
