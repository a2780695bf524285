#include "tests/support/filelimit.h"

#include <csignal>
#include <stdexcept>

FileSizeLimit::FileSizeLimit(std::size_t bytes)
{
    // The kernel also raises SIGXFSZ, which would end the test program.
    m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        throw std::runtime_error("cannot read the file size limit");
    rlimit limit = m_saved;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("cannot set the file size limit");
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_savedHandler);
}
