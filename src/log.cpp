// placeholder until the log module lands
