// Placeholder until the container lands.
