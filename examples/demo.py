"""A two-link planar arm: load it, place it in the world, ask where its tool is."""

import math
import tempfile

import numpy as np

import vormek

ARM = """
<robot name="planar_arm">
  <link name="base"/>
  <link name="upper"/>
  <link name="fore"/>
  <link name="tool"/>
  <joint name="shoulder" type="revolute">
    <parent link="base"/><child link="upper"/>
    <origin xyz="0 0 0.5"/><axis xyz="0 0 1"/>
    <limit lower="-3.14" upper="3.14" velocity="2"/>
  </joint>
  <joint name="elbow" type="revolute">
    <parent link="upper"/><child link="fore"/>
    <origin xyz="0.4 0 0"/><axis xyz="0 0 1"/>
    <limit lower="-3.14" upper="3.14" velocity="2"/>
  </joint>
  <joint name="flange" type="fixed">
    <parent link="fore"/><child link="tool"/>
    <origin xyz="0.3 0 0"/>
  </joint>
</robot>
"""


def main() -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf") as f:
        f.write(ARM)
        f.flush()
        robot = vormek.Robot(f.name)

    with robot:
        print(f"{robot.name}: {robot.link_count} links, {robot.joint_count} joints")
        tool = robot.link_id("tool")
        q = np.array([math.pi / 2, -math.pi / 2])
        pose = robot.forward_kinematics(q, tool)
        print("tool at", np.round(pose.translation, 6), "rotation (x, y, z, w)", np.round(pose.rotation_xyzw, 6))

        # lift the whole robot by one metre
        robot.set_base_frame(vormek.Pose(translation=(0, 0, 1)))
        print("after lifting the base:", np.round(robot.forward_kinematics(q, tool).translation, 6))

        try:
            robot.forward_kinematics([0.0], tool)
        except ValueError as e:
            print("a short q is refused:", e)


if __name__ == "__main__":
    main()
