#include "app/select.hpp"

#include <string_view>
#include <utility>

#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "show/score.hpp"

namespace lumo {

namespace {

constexpr std::string_view kHifiberryPattern = "sysdefault:CARD=sndrpihifiberry";
constexpr std::string_view kLoopbackName = "hw:CARD=Loopback,DEV=1";

// The show's stream, whatever the device prefers: only its sample format is taken.
constexpr audio::StreamConfig kShowStreamConfig{kChannels, kSampleRate};
// A second of the show for the view: far more than the device's queue and a few frames.
constexpr std::size_t kViewRingFrames = kSampleRate;

// A device whose name cannot be read is passed over, not fatal.
Result<std::unique_ptr<audio::Device>> find_hifiberry(audio::Host& host) {
    Result<audio::DeviceList> devices = host.output_devices();
    if (!devices) return devices.error();
    for (std::unique_ptr<audio::Device>& device : devices.value()) {
        Result<std::string> name = device->name();
        if (name && name.value().find(kHifiberryPattern) != std::string::npos) return std::move(device);
    }
    return Error("HiFiBerry DAC+ not found");
}

// The loopback card is set up by whoever runs lumo that way; its absence is a fault.
std::unique_ptr<audio::Device> find_loopback(audio::Host& host) {
    Result<audio::DeviceList> devices = host.devices();
    if (!devices) fatal_unwrap(devices.error().debug());
    for (std::unique_ptr<audio::Device>& device : devices.value()) {
        Result<std::string> name = device->name();
        if (!name) fatal_unwrap(name.error().debug());
        if (name.value() == kLoopbackName) return std::move(device);
    }
    fatal("Failed to find the Loopback device");
}

std::string debug_form(const Result<std::string>& name) {
    if (name) return "Ok(" + debug_quote(name.value()) + ")";
    return "Err(" + name.error().debug() + ")";
}

// Each line is flushed at once, so that it is out before a later stop of the program.
void print_line(std::ostream& out, std::string_view line) { out << line << '\n' << std::flush; }

Status run(audio::Host& host, std::span<const std::string> args, std::ostream& out, SleepFunction sleep,
           StreamMaker make, ViewStarter start_view) {
    Result<std::unique_ptr<audio::Device>> selected = select_device(host, args);
    if (!selected) return selected.error();
    std::unique_ptr<audio::Device> device = std::move(selected).value();

    Result<std::string> name = device->name();
    if (!name) return name.error();
    print_line(out, "Output device : " + name.value());

    Result<audio::SupportedStreamConfig> config = device->default_output_config();
    if (!config) return config.error();
    print_line(out, "Device : " + debug_form(device->name()));
    print_line(out, "Default output config : " + audio::debug_form(config.value()));

    std::shared_ptr<ViewRing> ring;
    if (start_view != nullptr && wants_screen(args)) ring = std::make_shared<ViewRing>(kViewRingFrames);
    Result<std::unique_ptr<audio::Stream>> built =
        make(config.value().sample_format, *device, kShowStreamConfig, ring);
    if (!built) return built.error();
    device.reset();  // the stream keeps what it needs
    std::unique_ptr<audio::Stream> stream = std::move(built).value();

    if (Status played = stream->play(); !played) {
        stream.reset();
        return played.error();
    }
    std::jthread view = ring ? start_view(ring) : std::jthread();
    sleep(std::chrono::seconds{kShowSeconds});
    view = std::jthread();  // stops it and waits, giving the screen back
    stream.reset();
    return {};
}

}  // namespace

Result<std::unique_ptr<audio::Device>> select_device(audio::Host& host, std::span<const std::string> args) {
    if (args.size() >= 2) {
        if (args[1] == "raspi") return find_hifiberry(host);
        if (args[1] == "loopback") return find_loopback(host);
    }
    std::unique_ptr<audio::Device> device = host.default_output_device();
    if (!device) return Error("Default output device is not available");
    return device;
}

bool wants_screen(std::span<const std::string> args) {
    // Argument 1 is always the device, so "--screen" there names one (the default).
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--screen") return true;
    }
    return false;
}

int run_lumo(audio::Host& host, std::span<const std::string> args, std::ostream& out, std::ostream& err,
             SleepFunction sleep, StreamMaker make, ViewStarter start_view) {
    Status status = run(host, args, out, sleep, make, start_view);
    if (status) return 0;
    err << "Error: " << status.error().report() << '\n' << std::flush;
    return 1;
}

}  // namespace lumo
