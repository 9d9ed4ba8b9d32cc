// Stream generators and the simulated receiver live here.
