#include "tests/support/infopensim.h"

#include <utility>

namespace {

const std::string kAck("\x06\x02", 2);

std::string Byte(uint8_t value)
{
    return std::string(1, static_cast<char>(value));
}

} // namespace

InfoPenSim::InfoPenSim(PtyDevice& device) : m_device(device) {}

InfoPenSim::~InfoPenSim()
{
    Stop();
}

void InfoPenSim::Start()
{
    m_device.Play([this](PtyDevice& device) {
        device.Serve([this](std::string& pending) { return Respond(pending); });
    });
}

void InfoPenSim::Stop()
{
    m_device.StopPlaying();
}

void InfoPenSim::AddRecord(std::string record)
{
    std::lock_guard lock(m_lock);
    m_records.push_back(std::move(record));
}

std::vector<std::string> InfoPenSim::Records() const
{
    std::lock_guard lock(m_lock);
    return m_records;
}

void InfoPenSim::SetParameter(uint8_t number, uint8_t value)
{
    std::lock_guard lock(m_lock);
    m_parameters[number] = value;
}

std::optional<uint8_t> InfoPenSim::Parameter(uint8_t number) const
{
    std::lock_guard lock(m_lock);
    const auto found = m_parameters.find(number);
    return found == m_parameters.end() ? std::nullopt : std::optional<uint8_t>(found->second);
}

bool InfoPenSim::IsAwake() const
{
    std::lock_guard lock(m_lock);
    return m_awake;
}

void InfoPenSim::WakeUp()
{
    std::lock_guard lock(m_lock);
    m_awake = true;
}

void InfoPenSim::QueueFault(uint8_t command, Fault fault, int times)
{
    std::lock_guard lock(m_lock);
    for (int i = 0; i < times; ++i)
        m_faults[command].push_back(fault);
}

std::vector<std::string> InfoPenSim::Commands() const
{
    std::lock_guard lock(m_lock);
    return m_commands;
}

int InfoPenSim::Count(uint8_t command) const
{
    std::lock_guard lock(m_lock);
    const auto found = m_counts.find(command);
    return found == m_counts.end() ? 0 : found->second;
}

int InfoPenSim::Rejected() const
{
    std::lock_guard lock(m_lock);
    return m_rejected;
}

std::string InfoPenSim::Check(std::string_view bytes) const
{
    uint8_t check = 0;
    for (char c : bytes)
        check = static_cast<uint8_t>(check ^ static_cast<uint8_t>(c));
    return Byte(check);
}

// Header bytes that read as records, so a driver that starts the record
// list in the wrong place delivers codes that were never stored.
std::string InfoPenSim::UploadHeader() const
{
    return std::string("\x04"
                       "AHDR"
                       "\x04"
                       "DHDR"
                       "\x01\x02",
                       12);
}

// Commands without data are 4 bytes with the check; set parameters runs in
// triples up to the 00 that ends them.
std::optional<std::size_t> InfoPenSim::CommandLength(std::string_view pending) const
{
    const std::size_t bare = 3 + CheckSize();
    switch (static_cast<uint8_t>(pending[0])) {
    case 0x01:
    case 0x02:
    case 0x05:
    case 0x07:
        return pending.size() >= bare ? bare : 0;
    case 0x03:
        for (std::size_t pos = 2; pos < pending.size(); pos += 3)
            if (pending[pos] == '\0')
                return pending.size() >= pos + 1 + CheckSize() ? pos + 1 + CheckSize() : 0;
        return 0;
    default:
        return std::nullopt;
    }
}

std::string InfoPenSim::Answer(uint8_t command, std::string_view data)
{
    std::string answer = kAck;
    switch (command) {
    case 0x01: // two identification bytes and two 8-byte fields
        answer += std::string("\x31\x07"
                              "SIMPEN01"
                              "00000042",
                              18);
        break;
    case 0x03:
        for (std::size_t pos = 0; pos + 3 <= data.size(); pos += 3) {
            m_parameters[static_cast<uint8_t>(data[pos + 1])] = static_cast<uint8_t>(data[pos + 2]);
            answer += data.substr(pos, 3);
        }
        break;
    case 0x07:
        answer += UploadHeader();
        for (const auto& record : m_records)
            answer += Byte(static_cast<uint8_t>(record.size())) + record;
        break;
    case 0x02:
        m_records.clear();
        break;
    case 0x05:
        m_awake = false;
        break;
    default:
        return {};
    }
    answer += '\0';
    return answer;
}

std::optional<InfoPenSim::Fault> InfoPenSim::TakeFault(uint8_t command)
{
    auto& queue = m_faults[command];
    if (queue.empty())
        return std::nullopt;
    const Fault fault = queue.front();
    queue.pop_front();
    return fault;
}

std::string InfoPenSim::Apply(std::optional<Fault> fault, std::string answer) const
{
    answer = Frame(std::move(answer));
    if (fault == Fault::kBadCheck)
        answer.back() = static_cast<char>(answer.back() ^ 0x5A);
    else if (fault == Fault::kShort)
        answer.resize(answer.size() / 2);
    return answer;
}

std::string InfoPenSim::Respond(std::string& pending)
{
    std::lock_guard lock(m_lock);
    std::string reply;
    while (!pending.empty()) {
        const auto length = CommandLength(pending);
        if (!length) {
            m_device.AddFailure("not a command: byte " + std::to_string(static_cast<uint8_t>(pending[0])));
            pending.erase(0, 1);
            continue;
        }
        if (*length == 0)
            break;
        const std::string command = pending.substr(0, *length);
        pending.erase(0, *length);
        m_commands.push_back(command);
        const std::string body = command.substr(0, command.size() - CheckSize());
        if (Check(body) != command.substr(body.size())) {
            ++m_rejected;
            continue;
        }
        const auto code = static_cast<uint8_t>(command[0]);
        ++m_counts[code];
        const auto fault = TakeFault(code);
        if (!m_awake || !OnLine() || fault == Fault::kSilent)
            continue;
        // Data lies between 02 and the 00 before the check.
        const std::string answer = Answer(code, std::string_view(body).substr(2, body.size() - 3));
        if (!answer.empty())
            reply += Apply(fault, answer);
    }
    return reply;
}
