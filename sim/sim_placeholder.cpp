// Keeps the simulator library non-empty while no device model exists yet.
namespace s470_sim_placeholder {}
