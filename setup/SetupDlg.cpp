// Placeholder until Setup lands.
