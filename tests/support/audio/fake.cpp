#include "audio/fake.hpp"

namespace lumo::audio {

namespace {

class FakeStream : public Stream {
public:
    explicit FakeStream(std::shared_ptr<FakeStreamRecord> record) : record_(std::move(record)) {}
    ~FakeStream() override { record_->close(); }

    Status play() override {
        ++record_->play_calls;
        if (record_->play_error) return *record_->play_error;
        return {};
    }

private:
    std::shared_ptr<FakeStreamRecord> record_;
};

}  // namespace

FakeStreamRecord::FakeStreamRecord(StreamConfig asked, SampleFormat sample_format, DataCallback data,
                                   ErrorCallback error, std::optional<Error> failure_of_play)
    : config(asked), format(sample_format), play_error(std::move(failure_of_play)), data_(std::move(data)),
      error_(std::move(error)) {}

void FakeStreamRecord::pump_into(OutputBuffer buffer) {
    if (closed) fatal("fake stream pumped after it was closed");
    data_(buffer);
}

void FakeStreamRecord::report_error(std::string_view message) {
    if (closed) fatal("fake stream reported an error after it was closed");
    error_(message);
}

void FakeStreamRecord::close() {
    closed = true;
    data_ = nullptr;
    error_ = nullptr;
}

FakeDevice::FakeDevice(FakeDeviceSetup setup)
    : record_(std::make_shared<FakeDeviceRecord>(FakeDeviceRecord{std::move(setup), 0, {}})) {}

Result<std::string> FakeDevice::name() const {
    ++record_->name_queries;
    if (record_->setup.name_error) return *record_->setup.name_error;
    if (record_->setup.later_name_error && record_->name_queries > 1) return *record_->setup.later_name_error;
    return record_->setup.name;
}

Result<SupportedStreamConfig> FakeDevice::default_output_config() const {
    if (record_->setup.config_error) return *record_->setup.config_error;
    return record_->setup.config;
}

Result<std::unique_ptr<Stream>> FakeDevice::build_output_stream_raw(const StreamConfig& config,
                                                                    SampleFormat format, DataCallback data,
                                                                    ErrorCallback error) const {
    // A failed build drops the callbacks here, as a real layer would.
    if (record_->setup.build_error) return *record_->setup.build_error;
    auto stream = std::make_shared<FakeStreamRecord>(config, format, std::move(data), std::move(error),
                                                     record_->setup.play_error);
    record_->streams.push_back(stream);
    return std::unique_ptr<Stream>(std::make_unique<FakeStream>(std::move(stream)));
}

std::size_t FakeHost::add_device(FakeDeviceSetup setup) {
    devices_.push_back(std::make_shared<FakeDeviceRecord>(FakeDeviceRecord{std::move(setup), 0, {}}));
    return devices_.size() - 1;
}

Result<DeviceList> FakeHost::devices() {
    if (devices_error) return *devices_error;
    DeviceList list;
    for (const auto& record : devices_) list.push_back(std::make_unique<FakeDevice>(record));
    return list;
}

Result<DeviceList> FakeHost::output_devices() {
    if (output_devices_error) return *output_devices_error;
    DeviceList list;
    for (const auto& record : devices_) {
        if (record->setup.output) list.push_back(std::make_unique<FakeDevice>(record));
    }
    return list;
}

std::unique_ptr<Device> FakeHost::default_output_device() {
    if (!default_device) return nullptr;
    return std::make_unique<FakeDevice>(devices_.at(*default_device));
}

}  // namespace lumo::audio
